# GoogleTest (targets gtest and gtest_main) built from Debian's sources in
# every build, native and Windows alike, so that one set of test sources serves
# both. Debian ships no MinGW build of it, and a native build from the same
# sources keeps the two test runs comparable.

set(ZARL_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${ZARL_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR
        "GoogleTest sources not found in ${ZARL_GOOGLETEST_SOURCE_DIR}: "
        "run scripts/install-deps.sh (Debian package googletest)")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)

# SYSTEM: the project's -Werror must not trip over warnings in GoogleTest's
# headers. EXCLUDE_FROM_ALL: only what the tests link gets built.
add_subdirectory(${ZARL_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/_deps/googletest
    EXCLUDE_FROM_ALL SYSTEM)

include(GoogleTest)
