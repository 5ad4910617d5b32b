# Checks the packages a build made (the target "package"):
#   - the zip holds exactly the folder ZARL-<version>/ with its files,
#   - its text files have CRLF line ends only,
#   - ZARL.exe in it carries the commit's time, not the time it was made,
#   - making both packages again from the same build gives the same bytes
#     (the cheap half of reproducibility; the other half, two builds of a
#     commit in clean trees, is the README's command).
#
#   cmake -DZARL_SOURCE_DIR= -DZARL_BUILD_DIR= -DZARL_STRIP= -DZARL_VERSION=
#         -DZARL_VERSION_NUMBERS= -DZARL_EPOCH= -DZARL_WORK_DIR= -P check.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var ZARL_SOURCE_DIR ZARL_BUILD_DIR ZARL_STRIP ZARL_VERSION ZARL_VERSION_NUMBERS
        ZARL_EPOCH ZARL_WORK_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

set(name ZARL-${ZARL_VERSION})
set(package_dir ${ZARL_BUILD_DIR}/package)
set(zip ${package_dir}/${name}-win32.zip)
set(setup ${package_dir}/${name}-setup.exe)
foreach(file ${zip} ${setup})
    if(NOT EXISTS ${file})
        message(FATAL_ERROR "${file} is missing: build the target package")
    endif()
endforeach()
set(failures "")

# The list of files.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip}
    OUTPUT_VARIABLE listed RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot list ${zip}")
endif()
string(REPLACE "\n" ";" listed "${listed}")
list(REMOVE_ITEM listed "")
set(expected ${name}/ ${name}/LICENSE.txt ${name}/README.txt ${name}/THIRD-PARTY-NOTICES.txt
    ${name}/ZARL.CNT ${name}/ZARL.HLP ${name}/ZARL.exe ${name}/manual/)
file(GLOB pages RELATIVE ${ZARL_BUILD_DIR}/docs/html ${ZARL_BUILD_DIR}/docs/html/*.html)
foreach(page ${pages})
    list(APPEND expected ${name}/manual/${page})
endforeach()
if(NOT "index.html" IN_LIST pages)
    string(APPEND failures "the HTML manual has no index.html\n")
endif()
list(SORT listed)
list(SORT expected)
if(NOT listed STREQUAL expected)
    string(APPEND failures "the zip holds\n  ${listed}\nexpected\n  ${expected}\n")
endif()

# The texts, and the program's header.
file(REMOVE_RECURSE ${ZARL_WORK_DIR})
file(MAKE_DIRECTORY ${ZARL_WORK_DIR}/unpacked)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${zip}
    WORKING_DIRECTORY ${ZARL_WORK_DIR}/unpacked RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${zip}")
endif()
# (as bytes: file(READ) as text drops every CR)
foreach(text README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
    file(READ ${ZARL_WORK_DIR}/unpacked/${name}/${text} bytes HEX)
    string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
    string(REGEX MATCHALL "0a " lf "${bytes}")
    string(REGEX MATCHALL "0d 0a " crlf "${bytes}")
    list(LENGTH lf lf)
    list(LENGTH crlf crlf)
    if(lf EQUAL 0 OR NOT lf EQUAL crlf OR NOT bytes MATCHES "0d 0a $")
        string(APPEND failures "${text} has line ends other than CRLF\n")
    endif()
endforeach()
file(READ ${ZARL_WORK_DIR}/unpacked/${name}/ZARL.exe pe_offset OFFSET 60 LIMIT 4 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" pe_offset ${pe_offset})
math(EXPR stamp_offset "0x${pe_offset} + 8")
file(READ ${ZARL_WORK_DIR}/unpacked/${name}/ZARL.exe stamp OFFSET ${stamp_offset} LIMIT 4 HEX)
string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" stamp ${stamp})
math(EXPR stamp "0x${stamp}")
if(NOT stamp EQUAL ZARL_EPOCH)
    string(APPEND failures "ZARL.exe carries the time ${stamp}, not the commit's, ${ZARL_EPOCH}\n")
endif()

# The same build packed again gives the same bytes.
execute_process(
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZARL_EPOCH}
        bash ${ZARL_SOURCE_DIR}/packaging/package.sh ${ZARL_SOURCE_DIR} ${ZARL_BUILD_DIR}
        ${ZARL_WORK_DIR}/again ${ZARL_STRIP} ${ZARL_VERSION} ${ZARL_VERSION_NUMBERS}
    OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "packaging.sh failed the second time")
endif()
foreach(file ${name}-win32.zip ${name}-setup.exe)
    file(SHA256 ${package_dir}/${file} first)
    file(SHA256 ${ZARL_WORK_DIR}/again/${file} second)
    if(NOT first STREQUAL second)
        string(APPEND failures "${file} made again differs\n")
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
message(STATUS "${name}: ${zip} and ${setup} are as they should be")
