# Checks of zarl-eval's options, exit statuses and line reading. Included by
# run_table.cmake (which supplies zarl_run and the failure count), or run alone
# (zarl_run then comes from zarl_lines.cmake beside this file):
#
#   cmake -DZARL_EVAL=<zarl-eval> [-DZARL_EMULATOR=<command list>] -P run_options.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT ZARL_CLI_INCLUDED)
    if(NOT ZARL_EVAL)
        message(FATAL_ERROR "run_options.cmake: ZARL_EVAL (the zarl-eval executable) is not set")
    endif()
    if(NOT DEFINED ZARL_EMULATOR AND DEFINED EMULATOR)
        set(ZARL_EMULATOR "${EMULATOR}")
    endif()
    include("${CMAKE_CURRENT_LIST_DIR}/zarl_lines.cmake")
    zarl_make_scratch()
    set(ZARL_CLI_FAILURES 0)
endif()

# Shows a text with its control bytes visible.
function(zarl_visible text out)
    string(REPLACE "\r" "\\r" text "${text}")
    string(REPLACE "\n" "\\n" text "${text}")
    string(REPLACE "\t" "\\t" text "${text}")
    string(LENGTH "${text}" length)
    if(length GREATER 200)
        string(SUBSTRING "${text}" 0 200 text)
        string(APPEND text "...")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# zarl_expect(<name> STATUS <n> OUTPUT <exact stdout> | OUTPUT_MATCHES <regex>
#             [INPUT <file>] [ARGS <arg>...])
# Runs zarl-eval and compares the exit status and the whole standard output
# (or matches it against a regular expression).
macro(zarl_expect name)
    cmake_parse_arguments(EXPECT "" "STATUS;OUTPUT;OUTPUT_MATCHES;INPUT" "ARGS" ${ARGN})
    if(EXPECT_INPUT)
        zarl_run(got_status got_output got_errors INPUT "${EXPECT_INPUT}" ARGS ${EXPECT_ARGS})
    else()
        zarl_run(got_status got_output got_errors ARGS ${EXPECT_ARGS})
    endif()
    if(DEFINED EXPECT_OUTPUT_MATCHES)
        set(output_ok FALSE)
        if(got_output MATCHES "${EXPECT_OUTPUT_MATCHES}")
            set(output_ok TRUE)
        endif()
        set(wanted "matching ${EXPECT_OUTPUT_MATCHES}")
    else()
        set(output_ok FALSE)
        if("${got_output}" STREQUAL "${EXPECT_OUTPUT}")
            set(output_ok TRUE)
        endif()
        zarl_visible("${EXPECT_OUTPUT}" wanted)
        set(wanted "\"${wanted}\"")
    endif()
    if(NOT "${got_status}" STREQUAL "${EXPECT_STATUS}" OR NOT output_ok)
        zarl_visible("${got_output}" shown_output)
        zarl_visible("${got_errors}" shown_errors)
        message("option check '${name}': expected status ${EXPECT_STATUS} and output ${wanted}\n"
                "    got status ${got_status} and output \"${shown_output}\" (standard error \"${shown_errors}\")")
        math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
    endif()
endmacro()

# Repeats text count times.
function(zarl_repeat text count out)
    set(result "")
    foreach(i RANGE 1 ${count})
        string(APPEND result "${text}")
    endforeach()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

# ------------------------------------------------------------ exit statuses

zarl_expect("all evaluated" STATUS 0 OUTPUT "3\n4\n" ARGS "1+2" "2*2")
zarl_expect("one not evaluated" STATUS 1 OUTPUT "3\nNot Evaluated\n4\n" ARGS "1+2" "1+" "4")
zarl_expect("unknown option" STATUS 2 OUTPUT "" ARGS "--bogus" "1+2")
zarl_expect("option after a bad one is not reached" STATUS 2 OUTPUT "" ARGS "--format=q" "--help")
zarl_expect("help" STATUS 0 OUTPUT_MATCHES "^Usage: zarl-eval .*--const=NAME=VALUE" ARGS "--help" "1+")
zarl_expect("-- ends the options" STATUS 0 OUTPUT "3\n" ARGS "--" "--3")
zarl_expect("an option after -- is an expression" STATUS 1 OUTPUT "Not Evaluated\n" ARGS "--" "--plus")

# ------------------------------------------------------------ option values

zarl_expect("precision 16" STATUS 2 OUTPUT "" ARGS "--precision=16" "1/3")
zarl_expect("precision empty" STATUS 2 OUTPUT "" ARGS "--precision=" "1/3")
zarl_expect("precision 3" STATUS 0 OUTPUT "0.333\n" ARGS "--precision=3" "1/3")
zarl_expect("precision 15" STATUS 0 OUTPUT "0.333333333333333\n" ARGS "--precision=15" "1/3")
zarl_expect("format x" STATUS 2 OUTPUT "" ARGS "--format=x" "1")
zarl_expect("format ee" STATUS 2 OUTPUT "" ARGS "--format=ee" "1")
zarl_expect("format E" STATUS 0 OUTPUT "1.500E+000\n" ARGS "--format=E" "--precision=3" "1.5")
zarl_expect("format f" STATUS 0 OUTPUT "0.33\n" ARGS "--format=f" "--precision=2" "1/3")
zarl_expect("hex 64" STATUS 2 OUTPUT "" ARGS "--hex=64" "1@H")
zarl_expect("hex 8" STATUS 0 OUTPUT "&HFF\n" ARGS "--hex=8" "-1@H")
zarl_expect("hex 16" STATUS 0 OUTPUT "0xffff\n" ARGS "--hex=16" "-1@x")
zarl_expect("hex 32" STATUS 0 OUTPUT "&HFFFFFFFF\n" ARGS "--hex=32" "-1@H")
zarl_expect("hex signed" STATUS 0 OUTPUT "-&H1\n" ARGS "--hex=signed" "-1@H")
zarl_expect("plus" STATUS 0 OUTPUT "+5\n-5\n" ARGS "--plus" "5" "-5")
zarl_expect("degrees" STATUS 0 OUTPUT "1\n" ARGS "--degrees" "SIN(90)")
zarl_expect("separators" STATUS 0 OUTPUT "1,234,567\n1,001\n" ARGS "--separators" "1234567" "1,000+1")
zarl_expect("no separators" STATUS 1 OUTPUT "1234567\nNot Evaluated\n" ARGS "1234567" "1,000+1")

# ------------------------------------------------------------ constants

zarl_expect("constant without value" STATUS 2 OUTPUT "" ARGS "--const=X" "1")
zarl_expect("constant without name" STATUS 2 OUTPUT "" ARGS "--const==5" "1")
zarl_repeat("0" 38 zeros)
zarl_expect("constant of 40 characters" STATUS 0 OUTPUT "2.5\n"
    ARGS "--const=K=2.${zeros}" "K+0.5")
zarl_expect("constant of 41 characters" STATUS 2 OUTPUT ""
    ARGS "--const=K=2.${zeros}0" "K+0.5")
# A name of any length is cut by the name scan; it once overflowed a copy.
string(REPEAT "X" 300 long_tail)
zarl_expect("long constant name" STATUS 0 OUTPUT "5\n" ARGS "--const=LONGNAME${long_tail}=5" "longname")
zarl_expect("constants in order" STATUS 0 OUTPUT "7\n" ARGS "--const=a=3" "--const=B_2=4" "A+b_2")

# ------------------------------------------------------------ standard input

# A 1,024-byte line is evaluated, a 1,025-byte line is not, and the reading
# goes on correctly after it; a CR before the LF does not count.
zarl_repeat(" " 1021 blanks)
set(line1024 "1+2${blanks}")
set(line1025 "1+2${blanks} ")
file(WRITE "${ZARL_SCRATCH}/long.txt" "${line1024}\n${line1025}\n5\n${line1024}\r\n")
zarl_expect("1024 and 1025 bytes" STATUS 1 OUTPUT "3\nNot Evaluated\n5\n3\n" INPUT "${ZARL_SCRATCH}/long.txt")

file(WRITE "${ZARL_SCRATCH}/crlf.txt" "1+2\r\n?*2\r\n255@H\r\n")
zarl_expect("CR LF lines" STATUS 0 OUTPUT "3\n6\n&HFF\n" INPUT "${ZARL_SCRATCH}/crlf.txt")

file(WRITE "${ZARL_SCRATCH}/last.txt" "7\n8")
zarl_expect("last line without LF" STATUS 0 OUTPUT "7\n8\n" INPUT "${ZARL_SCRATCH}/last.txt")

file(WRITE "${ZARL_SCRATCH}/blank.txt" "2\n\n3\n")
zarl_expect("empty line" STATUS 1 OUTPUT "2\nNot Evaluated\n3\n" INPUT "${ZARL_SCRATCH}/blank.txt")

zarl_expect("no input" STATUS 0 OUTPUT "")

if(NOT ZARL_CLI_INCLUDED)
    file(REMOVE_RECURSE "${ZARL_SCRATCH}")
    if(ZARL_CLI_FAILURES GREATER 0)
        message(FATAL_ERROR "zarl-eval: ${ZARL_CLI_FAILURES} failed option checks")
    endif()
    message(STATUS "zarl-eval: all option checks passed")
endif()
