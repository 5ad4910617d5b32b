# Runs the expression table through zarl-eval in one process and compares
# every output line with the expected text; then checks the command's options,
# exit codes and line handling (run_options.cmake, beside this file).
#
#   cmake -DZARL_EVAL=<zarl-eval> [-DZARL_EMULATOR=<command list>]
#         [-DZARL_TABLE=<table.txt>] -P run_table.cmake
#
# EMULATOR and TABLE are accepted as other names of ZARL_EMULATOR and
# ZARL_TABLE. The emulator (e.g. the Wine wrapper and its arguments, as a list)
# runs zarl-eval; it is empty for a native build. The table defaults to
# table.txt beside this script.
#
# Table lines are "expression<TAB>expected"; lines starting with "#" and empty
# lines are ignored, a CR before the LF is dropped. The expected text FAIL
# stands for the "Not Evaluated" line. The lines run in order in one process,
# so "?" recalls the result of the line before.
cmake_minimum_required(VERSION 3.25)

if(NOT ZARL_EVAL)
    message(FATAL_ERROR "run_table.cmake: ZARL_EVAL (the zarl-eval executable) is not set")
endif()
if(NOT DEFINED ZARL_EMULATOR AND DEFINED EMULATOR)
    set(ZARL_EMULATOR "${EMULATOR}")
endif()
if(NOT ZARL_TABLE)
    if(TABLE)
        set(ZARL_TABLE "${TABLE}")
    else()
        set(ZARL_TABLE "${CMAKE_CURRENT_LIST_DIR}/table.txt")
    endif()
endif()
if(NOT EXISTS "${ZARL_TABLE}")
    message(FATAL_ERROR "run_table.cmake: the table ${ZARL_TABLE} does not exist")
endif()

# A scratch directory of this run for the input files (ZARL_SCRATCH_ROOT, else
# TMPDIR, else /tmp), removed at the end.
if(NOT ZARL_SCRATCH_ROOT)
    if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
        set(ZARL_SCRATCH_ROOT "$ENV{TMPDIR}")
    elseif(IS_DIRECTORY /tmp)
        set(ZARL_SCRATCH_ROOT /tmp)
    else()
        set(ZARL_SCRATCH_ROOT "${CMAKE_CURRENT_BINARY_DIR}")
    endif()
endif()
string(RANDOM LENGTH 10 ZARL_RUN_ID)
set(ZARL_SCRATCH "${ZARL_SCRATCH_ROOT}/zarl-cli-${ZARL_RUN_ID}")
file(MAKE_DIRECTORY "${ZARL_SCRATCH}")

# Text bytes that CMake's lists would take apart ("[", "]" and ";") travel as
# placeholders while a text is handled as a list of lines.
set(ZARL_SEMICOLON "<zarl-semicolon>")
set(ZARL_OPEN "<zarl-open>")
set(ZARL_CLOSE "<zarl-close>")

# Splits text into a list of lines (LF separated, no final empty line).
function(zarl_split_lines text out)
    string(REPLACE ";" "${ZARL_SEMICOLON}" text "${text}")
    string(REPLACE "[" "${ZARL_OPEN}" text "${text}")
    string(REPLACE "]" "${ZARL_CLOSE}" text "${text}")
    string(REGEX REPLACE "\n$" "" text "${text}")
    if(text STREQUAL "")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    string(REPLACE "\n" ";" lines "${text}")
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The original text of one line of such a list.
function(zarl_restore line out)
    string(REPLACE "${ZARL_SEMICOLON}" ";" line "${line}")
    string(REPLACE "${ZARL_OPEN}" "[" line "${line}")
    string(REPLACE "${ZARL_CLOSE}" "]" line "${line}")
    set(${out} "${line}" PARENT_SCOPE)
endfunction()

# Runs zarl-eval (through the emulator) with the arguments given after the
# named ones; stores exit status, standard output and standard error.
#   zarl_run(<status var> <stdout var> <stderr var> [INPUT <file>] [ARGS <arg>...])
function(zarl_run status_var out_var err_var)
    cmake_parse_arguments(PARSE_ARGV 3 RUN "" "INPUT" "ARGS")
    set(input_option)
    if(RUN_INPUT)
        set(input_option INPUT_FILE "${RUN_INPUT}")
    else()
        file(WRITE "${ZARL_SCRATCH}/empty.txt" "")
        set(input_option INPUT_FILE "${ZARL_SCRATCH}/empty.txt")
    endif()
    execute_process(
        COMMAND ${ZARL_EMULATOR} "${ZARL_EVAL}" ${RUN_ARGS}
        ${input_option}
        RESULT_VARIABLE status
        OUTPUT_VARIABLE out
        ERROR_VARIABLE err)
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${out_var} "${out}" PARENT_SCOPE)
    set(${err_var} "${err}" PARENT_SCOPE)
endfunction()

set(ZARL_CLI_FAILURES 0)

# ------------------------------------------------------------------ the table

file(READ "${ZARL_TABLE}" table_text)
zarl_split_lines("${table_text}" table_lines)

set(expressions "")
set(expected_lines "")
set(line_numbers "")
set(any_failure_expected FALSE)
set(number 0)
set(bad_rows 0)
foreach(raw IN LISTS table_lines)
    math(EXPR number "${number} + 1")
    zarl_restore("${raw}" line)
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line STREQUAL "" OR line MATCHES "^#")
        continue()
    endif()
    string(FIND "${line}" "\t" tab)
    string(FIND "${line}" "\t" last_tab REVERSE)
    if(tab LESS 0 OR NOT tab EQUAL last_tab)
        message("${ZARL_TABLE}:${number}: not expression<TAB>expected: ${line}")
        math(EXPR bad_rows "${bad_rows} + 1")
        continue()
    endif()
    string(SUBSTRING "${line}" 0 ${tab} expression)
    math(EXPR after "${tab} + 1")
    string(SUBSTRING "${line}" ${after} -1 expected)
    if(expected STREQUAL "FAIL" OR expected STREQUAL "Not Evaluated")
        set(expected "Not Evaluated")
        set(any_failure_expected TRUE)
    endif()
    string(APPEND expressions "${expression}\n")
    # Kept protected, so that the list stays one element per row.
    string(REPLACE ";" "${ZARL_SEMICOLON}" expected "${expected}")
    string(REPLACE "[" "${ZARL_OPEN}" expected "${expected}")
    string(REPLACE "]" "${ZARL_CLOSE}" expected "${expected}")
    list(APPEND expected_lines "${expected}")
    list(APPEND line_numbers ${number})
endforeach()

list(LENGTH expected_lines rows)
if(rows EQUAL 0)
    message(FATAL_ERROR "${ZARL_TABLE} holds no rows")
endif()
if(bad_rows GREATER 0)
    math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + ${bad_rows}")
endif()

file(WRITE "${ZARL_SCRATCH}/table-input.txt" "${expressions}")
zarl_run(status output errors INPUT "${ZARL_SCRATCH}/table-input.txt")
zarl_split_lines("${output}" output_lines)
list(LENGTH output_lines output_count)

if(NOT output_count EQUAL rows)
    message("table: ${rows} expressions gave ${output_count} output lines")
    math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
endif()
if(NOT output MATCHES "\n$")
    message("table: the output does not end with a line feed")
    math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
endif()

set(mismatches 0)
math(EXPR last "${rows} - 1")
foreach(i RANGE ${last})
    list(GET expected_lines ${i} expected)
    list(GET line_numbers ${i} number)
    zarl_restore("${expected}" expected)
    if(i LESS output_count)
        list(GET output_lines ${i} actual)
        zarl_restore("${actual}" actual)
    else()
        set(actual "<no line>")
    endif()
    if(NOT actual STREQUAL expected)
        math(EXPR mismatches "${mismatches} + 1")
        message("${ZARL_TABLE}:${number}: expected \"${expected}\", zarl-eval wrote \"${actual}\"")
    endif()
endforeach()
if(mismatches GREATER 0)
    math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + ${mismatches}")
endif()

# Exit status 1 exactly when some line was not evaluated.
if(any_failure_expected)
    set(expected_status 1)
else()
    set(expected_status 0)
endif()
if(NOT "${status}" STREQUAL "${expected_status}")
    message("table: exit status ${status}, expected ${expected_status}")
    if(NOT errors STREQUAL "")
        message("table: standard error:\n${errors}")
    endif()
    math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
endif()
message(STATUS "table: ${rows} rows, ${mismatches} mismatches")

# ------------------------------------------------------------------ options

set(ZARL_CLI_INCLUDED TRUE)
include("${CMAKE_CURRENT_LIST_DIR}/run_options.cmake")

file(REMOVE_RECURSE "${ZARL_SCRATCH}")
if(ZARL_CLI_FAILURES GREATER 0)
    message(FATAL_ERROR "zarl-eval: ${ZARL_CLI_FAILURES} failed checks")
endif()
message(STATUS "zarl-eval: all checks passed")
