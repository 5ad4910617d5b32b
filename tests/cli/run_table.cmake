# Runs the expression table through zarl-eval in one process and compares
# every output line with the expected text; then checks the command's options,
# exit codes and line handling (run_options.cmake, beside this file).
#
#   cmake -DZARL_EVAL=<zarl-eval> [-DZARL_EMULATOR=<command list>]
#         [-DZARL_TABLE=<table.txt>] [-DZARL_OPTIONS=<options>]
#         [-DZARL_ESCAPES=ON] [-DZARL_OPTION_CHECKS=ON|OFF] -P run_table.cmake
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
#
# For other tables (e.g. clipboard_table.txt):
# - ZARL_OPTIONS: options given to zarl-eval before the table's own, a list or
#   a space-separated text (e.g. "--clipboard").
# - A line "#options: OPTION..." (space-separated) starts a new run: the rows
#   after it go to a new zarl-eval process started with ZARL_OPTIONS and these
#   options, and its exit status is checked for those rows alone. Rows before
#   the first such line run with ZARL_OPTIONS alone.
# - ZARL_ESCAPES=ON: in both columns "\xNN" (two hexadecimal digits) stands
#   for the byte NN; a backslash itself is written \x5C. \x00 cannot be
#   written, nor \x0A in an expression (it would split the line). Mismatches
#   are then shown with such escapes.
# - ZARL_OPTION_CHECKS: whether run_options.cmake runs after the table; by
#   default it does when ZARL_OPTIONS is empty.
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
# ZARL_OPTIONS as a list of arguments, whether given as a list or with spaces.
string(REPLACE ";" " " ZARL_OPTIONS_TEXT "${ZARL_OPTIONS}")
separate_arguments(ZARL_BASE_OPTIONS UNIX_COMMAND "${ZARL_OPTIONS_TEXT}")
if(NOT DEFINED ZARL_OPTION_CHECKS)
    if(ZARL_BASE_OPTIONS)
        set(ZARL_OPTION_CHECKS OFF)
    else()
        set(ZARL_OPTION_CHECKS ON)
    endif()
endif()

# Placeholders, zarl_protect / zarl_restore, zarl_split_lines, zarl_run, and
# a scratch directory of this run for the input files, removed at the end.
include("${CMAKE_CURRENT_LIST_DIR}/zarl_lines.cmake")
zarl_make_scratch()

set(ZARL_CLI_FAILURES 0)

# ------------------------------------------------------------------ the table

# Decodes every \xNN of text into its byte; ok is false for a malformed
# escape, for \x00, and (with NO_LF) for \x0A.
function(zarl_unescape text out ok_var)
    cmake_parse_arguments(PARSE_ARGV 3 UNESCAPE "NO_LF" "" "")
    set(result "")
    set(ok TRUE)
    while(TRUE)
        string(FIND "${text}" "\\x" at)
        if(at LESS 0)
            break()
        endif()
        string(SUBSTRING "${text}" 0 ${at} before)
        string(APPEND result "${before}")
        math(EXPR digits_at "${at} + 2")
        string(SUBSTRING "${text}" ${digits_at} 2 digits)
        if(NOT digits MATCHES "^[0-9A-Fa-f][0-9A-Fa-f]$")
            set(ok FALSE)
            break()
        endif()
        math(EXPR code "0x${digits}")
        if(code EQUAL 0 OR (UNESCAPE_NO_LF AND code EQUAL 10))
            set(ok FALSE)
            break()
        endif()
        string(ASCII ${code} byte)
        string(APPEND result "${byte}")
        math(EXPR rest_at "${at} + 4")
        string(SUBSTRING "${text}" ${rest_at} -1 text)
    endwhile()
    string(APPEND result "${text}")
    set(${out} "${result}" PARENT_SCOPE)
    set(${ok_var} ${ok} PARENT_SCOPE)
endfunction()

# The text for a message: as it is, or with ZARL_ESCAPES every byte outside
# printable ASCII, and the backslash, written as \xNN.
function(zarl_shown text out)
    if(NOT ZARL_ESCAPES)
        set(${out} "${text}" PARENT_SCOPE)
        return()
    endif()
    string(HEX "${text}" hex)
    string(LENGTH "${hex}" hex_length)
    set(result "")
    set(i 0)
    while(i LESS hex_length)
        string(SUBSTRING "${hex}" ${i} 2 pair)
        math(EXPR code "0x${pair}")
        if(code LESS 32 OR code GREATER 126 OR code EQUAL 92)
            string(TOUPPER "${pair}" pair)
            string(APPEND result "\\x${pair}")
        else()
            string(ASCII ${code} byte)
            string(APPEND result "${byte}")
        endif()
        math(EXPR i "${i} + 2")
    endwhile()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

file(READ "${ZARL_TABLE}" table_text)
zarl_split_lines("${table_text}" table_lines)

# The rows fall into runs: run 0 holds the rows before the first "#options:"
# line, each such line opens the next run.
set(run 0)
set(run_0_options "${ZARL_BASE_OPTIONS}")
set(run_0_line 0)
set(run_0_expressions "")
set(run_0_expected "")
set(run_0_numbers "")
set(run_0_any_failure FALSE)
set(number 0)
set(bad_rows 0)
foreach(raw IN LISTS table_lines)
    math(EXPR number "${number} + 1")
    zarl_restore("${raw}" line)
    string(REGEX REPLACE "\r$" "" line "${line}")
    if(line MATCHES "^#options:(.*)$")
        separate_arguments(line_options UNIX_COMMAND "${CMAKE_MATCH_1}")
        math(EXPR run "${run} + 1")
        set(run_${run}_options ${ZARL_BASE_OPTIONS} ${line_options})
        set(run_${run}_line ${number})
        set(run_${run}_expressions "")
        set(run_${run}_expected "")
        set(run_${run}_numbers "")
        set(run_${run}_any_failure FALSE)
        continue()
    endif()
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
        set(run_${run}_any_failure TRUE)
    elseif(ZARL_ESCAPES)
        zarl_unescape("${expected}" expected expected_ok)
        if(NOT expected_ok)
            message("${ZARL_TABLE}:${number}: bad \\x escape in the expected text: ${line}")
            math(EXPR bad_rows "${bad_rows} + 1")
            continue()
        endif()
    endif()
    if(ZARL_ESCAPES)
        zarl_unescape("${expression}" expression expression_ok NO_LF)
        if(NOT expression_ok)
            message("${ZARL_TABLE}:${number}: bad \\x escape in the expression: ${line}")
            math(EXPR bad_rows "${bad_rows} + 1")
            continue()
        endif()
    endif()
    string(APPEND run_${run}_expressions "${expression}\n")
    zarl_protect("${expected}" expected)
    list(APPEND run_${run}_expected "${expected}")
    list(APPEND run_${run}_numbers ${number})
endforeach()

set(rows 0)
set(mismatches 0)
if(bad_rows GREATER 0)
    math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + ${bad_rows}")
endif()

foreach(r RANGE ${run})
    list(LENGTH run_${r}_expected run_rows)
    if(run_rows EQUAL 0)
        if(r GREATER 0)
            message("${ZARL_TABLE}:${run_${r}_line}: an options line without rows")
            math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
        endif()
        continue()
    endif()
    math(EXPR rows "${rows} + ${run_rows}")
    # How the run is named in messages.
    if(r EQUAL 0 AND run EQUAL 0)
        set(label "table")
    else()
        string(REPLACE ";" " " shown_options "${run_${r}_options}")
        set(label "table run ${r} (${shown_options})")
    endif()

    file(WRITE "${ZARL_SCRATCH}/table-input.txt" "${run_${r}_expressions}")
    zarl_run(status output errors INPUT "${ZARL_SCRATCH}/table-input.txt" ARGS ${run_${r}_options})
    # Without DROP_CR: a CR that zarl-eval writes stays in its line, so that
    # the line differs from the expected text.
    zarl_split_lines("${output}" output_lines)
    list(LENGTH output_lines output_count)

    if(NOT output_count EQUAL run_rows)
        message("${label}: ${run_rows} expressions gave ${output_count} output lines")
        math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
    endif()
    if(NOT output MATCHES "\n$")
        message("${label}: the output does not end with a line feed")
        math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
    endif()

    set(run_mismatches 0)
    math(EXPR last "${run_rows} - 1")
    foreach(i RANGE ${last})
        list(GET run_${r}_expected ${i} expected)
        list(GET run_${r}_numbers ${i} number)
        zarl_restore("${expected}" expected)
        if(i LESS output_count)
            list(GET output_lines ${i} actual)
            zarl_restore("${actual}" actual)
        else()
            set(actual "<no line>")
        endif()
        if(NOT actual STREQUAL expected)
            math(EXPR run_mismatches "${run_mismatches} + 1")
            zarl_shown("${expected}" shown_expected)
            zarl_shown("${actual}" shown_actual)
            message("${ZARL_TABLE}:${number}: expected \"${shown_expected}\", zarl-eval wrote \"${shown_actual}\"")
        endif()
    endforeach()
    if(run_mismatches GREATER 0)
        math(EXPR mismatches "${mismatches} + ${run_mismatches}")
        math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + ${run_mismatches}")
    endif()

    # Exit status 1 exactly when some line was not evaluated.
    if(run_${r}_any_failure)
        set(expected_status 1)
    else()
        set(expected_status 0)
    endif()
    if(NOT "${status}" STREQUAL "${expected_status}")
        message("${label}: exit status ${status}, expected ${expected_status}")
        if(NOT errors STREQUAL "")
            message("${label}: standard error:\n${errors}")
        endif()
        math(EXPR ZARL_CLI_FAILURES "${ZARL_CLI_FAILURES} + 1")
    endif()
endforeach()

if(rows EQUAL 0)
    message(FATAL_ERROR "${ZARL_TABLE} holds no rows")
endif()
message(STATUS "table: ${rows} rows, ${mismatches} mismatches")

# ------------------------------------------------------------------ options

if(ZARL_OPTION_CHECKS)
    set(ZARL_CLI_INCLUDED TRUE)
    include("${CMAKE_CURRENT_LIST_DIR}/run_options.cmake")
endif()

file(REMOVE_RECURSE "${ZARL_SCRATCH}")
if(ZARL_CLI_FAILURES GREATER 0)
    message(FATAL_ERROR "zarl-eval: ${ZARL_CLI_FAILURES} failed checks")
endif()
message(STATUS "zarl-eval: all checks passed")
