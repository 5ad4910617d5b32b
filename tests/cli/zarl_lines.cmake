# Helpers of the test scripts run with "cmake -P" that feed texts to zarl-eval
# and compare its output line by line (run_table.cmake, run_options.cmake,
# tests/manual/run_examples.cmake). Included by path:
#
#   include("${CMAKE_CURRENT_LIST_DIR}/zarl_lines.cmake")
#
# zarl_run reads ZARL_EVAL (the zarl-eval executable), ZARL_EMULATOR (the
# command list that runs it, empty for a native build) and, without INPUT,
# ZARL_SCRATCH (a directory for its empty input file) when it is called.

# Sets ZARL_SCRATCH to a new directory of this run for input files: under
# ZARL_SCRATCH_ROOT, else TMPDIR, else /tmp, else the current binary directory.
macro(zarl_make_scratch)
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
endmacro()

# Text bytes that CMake's lists would take apart ("[", "]" and ";", and a
# backslash, which would escape the ";" between two elements) travel as
# placeholders while a text is handled as a list of lines. No placeholder
# holds one of these bytes, and none begins inside another, so the
# replacements below give the same text in any order.
set(ZARL_SEMICOLON "<zarl-semicolon>")
set(ZARL_OPEN "<zarl-open>")
set(ZARL_CLOSE "<zarl-close>")
set(ZARL_BACKSLASH "<zarl-backslash>")
# The byte each placeholder stands for, under the placeholder's name.
set(ZARL_BYTE_SEMICOLON ";")
set(ZARL_BYTE_OPEN "[")
set(ZARL_BYTE_CLOSE "]")
set(ZARL_BYTE_BACKSLASH "\\")
set(ZARL_PLACEHOLDER_NAMES BACKSLASH SEMICOLON OPEN CLOSE)

# The text with every such byte replaced by its placeholder, so that a list
# holding it keeps it as one element.
function(zarl_protect text out)
    foreach(name IN LISTS ZARL_PLACEHOLDER_NAMES)
        string(REPLACE "${ZARL_BYTE_${name}}" "${ZARL_${name}}" text "${text}")
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The original text of a protected one (e.g. one line of zarl_split_lines).
function(zarl_restore text out)
    foreach(name IN LISTS ZARL_PLACEHOLDER_NAMES)
        string(REPLACE "${ZARL_${name}}" "${ZARL_BYTE_${name}}" text "${text}")
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Splits text into a list of protected lines (LF separated, no final empty
# line); zarl_restore gives back each line's text.
#   zarl_split_lines(<text> <out var> [DROP_CR])
# DROP_CR drops a CR before each LF; without it a CR stays at the end of its
# line, e.g. so that a check can see that a program wrote one.
function(zarl_split_lines text out)
    cmake_parse_arguments(PARSE_ARGV 2 SPLIT "DROP_CR" "" "")
    zarl_protect("${text}" text)
    if(SPLIT_DROP_CR)
        string(REPLACE "\r\n" "\n" text "${text}")
    endif()
    string(REGEX REPLACE "\n$" "" text "${text}")
    if(text STREQUAL "")
        set(${out} "" PARENT_SCOPE)
        return()
    endif()
    string(REPLACE "\n" ";" lines "${text}")
    set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# Runs zarl-eval (through the emulator) with the arguments given after ARGS
# and standard input from the INPUT file, else from an empty file; stores the
# exit status, standard output and standard error.
#   zarl_run(<status var> <stdout var> <stderr var> [INPUT <file>] [ARGS <arg>...])
function(zarl_run status_var out_var err_var)
    cmake_parse_arguments(PARSE_ARGV 3 RUN "" "INPUT" "ARGS")
    if(NOT RUN_INPUT)
        file(WRITE "${ZARL_SCRATCH}/empty.txt" "")
        set(RUN_INPUT "${ZARL_SCRATCH}/empty.txt")
    endif()
    execute_process(
        COMMAND ${ZARL_EMULATOR} "${ZARL_EVAL}" ${RUN_ARGS}
        INPUT_FILE "${RUN_INPUT}"
        RESULT_VARIABLE status
        OUTPUT_VARIABLE out
        ERROR_VARIABLE err)
    set(${status_var} "${status}" PARENT_SCOPE)
    set(${out_var} "${out}" PARENT_SCOPE)
    set(${err_var} "${err}" PARENT_SCOPE)
endfunction()
