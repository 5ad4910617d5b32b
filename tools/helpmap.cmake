# zarl-helpmap, the tool that writes the context-number map (|CTXOMAP) into
# the help file Halibut makes. It runs during the build, so it is always built
# for the build host: as an ordinary target natively, and with the host's own
# C++ compiler in a cross build. Included from the top level after every other
# target, it leaves for the docs build:
#   ZARL_HELPMAP         path of the host executable, for add_custom_command
#   ZARL_HELPMAP_TARGET  the target that builds it, to depend on
# and adds the unit tests of its file logic and, natively with Halibut at
# hand, the round trip test on a real Halibut help file.

set(ZARL_HELPMAP_SOURCES
    ${PROJECT_SOURCE_DIR}/tools/zarl_helpmap.cpp
    ${PROJECT_SOURCE_DIR}/tools/helpfile.cpp)

if(NOT CMAKE_CROSSCOMPILING)
    add_executable(zarl-helpmap ${ZARL_HELPMAP_SOURCES})
    target_include_directories(zarl-helpmap PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(zarl-helpmap PRIVATE zarl_warnings)
    # A fixed place (the generator expression keeps multi-configuration
    # generators from adding a per-configuration folder), so that the path
    # can be handed out as a plain string.
    set_target_properties(zarl-helpmap PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "$<1:${CMAKE_BINARY_DIR}>")
    set(ZARL_HELPMAP ${CMAKE_BINARY_DIR}/zarl-helpmap${CMAKE_EXECUTABLE_SUFFIX})
    set(ZARL_HELPMAP_TARGET zarl-helpmap)
else()
    # The toolchain file looks for programs on the host (FIND_ROOT_PATH_MODE
    # PROGRAM NEVER), so this finds the build machine's compiler.
    find_program(ZARL_HOST_CXX NAMES g++ c++ clang++
        DOC "C++ compiler of the build host, for zarl-helpmap")
    if(NOT ZARL_HOST_CXX)
        message(FATAL_ERROR
            "zarl-helpmap runs during the build and needs a C++ compiler for the "
            "build host (g++ or c++); set ZARL_HOST_CXX to one")
    endif()
    set(ZARL_HELPMAP ${CMAKE_BINARY_DIR}/host/zarl-helpmap)
    add_custom_command(
        OUTPUT ${ZARL_HELPMAP}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
        COMMAND ${ZARL_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -Werror
            -I${PROJECT_SOURCE_DIR} ${ZARL_HELPMAP_SOURCES} -o ${ZARL_HELPMAP}
        DEPENDS ${ZARL_HELPMAP_SOURCES} ${PROJECT_SOURCE_DIR}/tools/helpfile.h
        COMMENT "Building zarl-helpmap for the build host"
        VERBATIM)
    add_custom_target(zarl-helpmap-host ALL DEPENDS ${ZARL_HELPMAP})
    set(ZARL_HELPMAP_TARGET zarl-helpmap-host)
endif()

# The file logic is portable, so its unit tests run in every build, under Wine
# too. The test source may already be in the target through the test folder's
# glob; CMake lists a source once.
if(TARGET zarl_unit_tests)
    target_sources(zarl_unit_tests PRIVATE
        ${PROJECT_SOURCE_DIR}/tools/helpfile.cpp
        ${PROJECT_SOURCE_DIR}/tests/unit/helpfile_test.cpp)
endif()

zarl_require(tests/unit/helpfile_test.cpp tests/helpmap/roundtrip.cmake
    tests/helpmap/sample.but tests/helpmap/sample.map)
if(NOT CMAKE_CROSSCOMPILING)
    find_program(ZARL_HALIBUT halibut DOC "Halibut, which makes the help file")
    if(ZARL_HALIBUT)
        add_test(NAME helpmap_roundtrip
            COMMAND ${CMAKE_COMMAND}
                -DZARL_HELPMAP=$<TARGET_FILE:zarl-helpmap>
                -DZARL_HALIBUT=${ZARL_HALIBUT}
                -DZARL_WORK_DIR=${CMAKE_BINARY_DIR}/helpmap_roundtrip
                -P ${PROJECT_SOURCE_DIR}/tests/helpmap/roundtrip.cmake)
        set_tests_properties(helpmap_roundtrip PROPERTIES TIMEOUT 120)
    else()
        message(STATUS "helpmap: halibut not found; helpmap_roundtrip is not registered")
    endif()
endif()
