# Checks the examples of the manual: reads every example line of the
# Halibut sources, runs the examples through zarl-eval and compares each
# output line with the result the manual states.
#
#   cmake -DZARL_EVAL=<zarl-eval> [-DZARL_EMULATOR=<command list>]
#         -DZARL_MANUAL_DIR=<docs directory> [-DZARL_MIN_EXAMPLES=<n>]
#         [-DZARL_SCRATCH=<directory>] -P run_examples.cmake
#
# The form of an example is described at the top of docs/zarl.but:
#
#   \# zarl-eval: --degrees          (optional, the options of the paragraph)
#
#   \c SIN(30)           -> 0.5
#   \c ASIN(2)           -> Not Evaluated
#
# Every *.but file of ZARL_MANUAL_DIR is read, in name order. A code
# paragraph (consecutive lines starting with "\c") that holds " -> " is a
# paragraph of examples, and then every line of it must hold exactly one
# " -> ". The paragraph runs in one zarl-eval process (through the emulator,
# e.g. Wine, in a Windows build) with the options of the "\# zarl-eval:" line
# just before it; the process must write one line per example, and exit with
# 1 when an example says "Not Evaluated", else with 0. Fewer examples than
# ZARL_MIN_EXAMPLES (default 1) fail the check, so that an extraction that
# finds nothing cannot pass.
cmake_minimum_required(VERSION 3.25)

if(NOT ZARL_EVAL)
    message(FATAL_ERROR "run_examples.cmake: ZARL_EVAL (the zarl-eval executable) is not set")
endif()
if(NOT ZARL_MANUAL_DIR OR NOT IS_DIRECTORY "${ZARL_MANUAL_DIR}")
    message(FATAL_ERROR "run_examples.cmake: ZARL_MANUAL_DIR (the manual's sources) is not a directory")
endif()
if(NOT DEFINED ZARL_MIN_EXAMPLES)
    set(ZARL_MIN_EXAMPLES 1)
endif()
if(NOT ZARL_SCRATCH)
    set(ZARL_SCRATCH "${CMAKE_CURRENT_BINARY_DIR}/manual-examples")
endif()
file(REMOVE_RECURSE "${ZARL_SCRATCH}")
file(MAKE_DIRECTORY "${ZARL_SCRATCH}")

# Placeholders, zarl_protect / zarl_restore, zarl_split_lines and zarl_run,
# shared with the table checks of zarl-eval.
include("${CMAKE_CURRENT_LIST_DIR}/../cli/zarl_lines.cmake")

set(failures 0)
set(examples 0)
set(runs 0)
set(mismatches 0)

# Reports a fault of the manual itself (not of the program).
function(zarl_manual_error where text)
    message("${where}: ${text}")
    math(EXPR count "${failures} + 1")
    set(failures ${count} PARENT_SCOPE)
endfunction()

# Runs one paragraph of examples. Reads the variables para_* of the caller:
# para_file, para_options (a list), para_lines (line numbers), para_inputs
# and para_expected (protected texts).
function(zarl_run_paragraph)
    list(LENGTH para_inputs count)
    math(EXPR last "${count} - 1")
    set(input "")
    set(any_failure FALSE)
    foreach(i RANGE ${last})
        list(GET para_inputs ${i} expression)
        list(GET para_expected ${i} expected)
        zarl_restore("${expression}" expression)
        string(APPEND input "${expression}\n")
        if(expected STREQUAL "Not Evaluated")
            set(any_failure TRUE)
        endif()
    endforeach()
    math(EXPR run_number "${runs} + 1")
    set(input_file "${ZARL_SCRATCH}/run-${run_number}.txt")
    file(WRITE "${input_file}" "${input}")
    zarl_run(status output errors INPUT "${input_file}" ARGS ${para_options})

    list(GET para_lines 0 first_line)
    # "zarl-eval" and its options, as messages show the run.
    string(REPLACE ";" " " shown_options "${para_options}")
    string(STRIP "zarl-eval ${shown_options}" shown_command)
    set(where "${para_file}:${first_line}")
    set(local_failures 0)
    set(local_mismatches 0)

    zarl_split_lines("${output}" output_lines DROP_CR)
    list(LENGTH output_lines output_count)
    if(NOT output_count EQUAL count)
        message("${where}: ${count} examples gave ${output_count} output lines from ${shown_command}")
        math(EXPR local_failures "${local_failures} + 1")
    endif()
    foreach(i RANGE ${last})
        list(GET para_inputs ${i} expression)
        list(GET para_expected ${i} expected)
        list(GET para_lines ${i} line)
        zarl_restore("${expression}" expression)
        zarl_restore("${expected}" expected)
        if(i LESS output_count)
            list(GET output_lines ${i} actual)
            zarl_restore("${actual}" actual)
        else()
            set(actual "<no line>")
        endif()
        if(NOT actual STREQUAL expected)
            message("${para_file}:${line}: ${expression} -> the manual says \"${expected}\", ${shown_command} wrote \"${actual}\"")
            math(EXPR local_mismatches "${local_mismatches} + 1")
        endif()
    endforeach()

    # Exit status 1 exactly when some example was not evaluated.
    if(any_failure)
        set(expected_status 1)
    else()
        set(expected_status 0)
    endif()
    if(NOT "${status}" STREQUAL "${expected_status}")
        message("${where}: ${shown_command} exited with ${status}, expected ${expected_status}")
        if(NOT errors STREQUAL "")
            message("${where}: standard error:\n${errors}")
        endif()
        math(EXPR local_failures "${local_failures} + 1")
    endif()

    math(EXPR total "${failures} + ${local_failures} + ${local_mismatches}")
    math(EXPR all_mismatches "${mismatches} + ${local_mismatches}")
    set(failures ${total} PARENT_SCOPE)
    set(mismatches ${all_mismatches} PARENT_SCOPE)
    set(runs ${run_number} PARENT_SCOPE)
endfunction()

# Ends the code paragraph collected in code_lines / code_numbers: checks its
# form and, for a paragraph of examples, runs it. Uses and clears
# pending_options / pending_line.
macro(zarl_end_paragraph)
    if(code_lines)
        set(arrows 0)
        foreach(code_protected IN LISTS code_lines)
            string(FIND "${code_protected}" " -> " at)
            if(at GREATER_EQUAL 0)
                math(EXPR arrows "${arrows} + 1")
            endif()
        endforeach()
        list(LENGTH code_lines code_count)
        list(GET code_numbers 0 code_first)
        if(arrows EQUAL 0)
            if(pending_set)
                zarl_manual_error("${but_name}:${pending_line}"
                    "a zarl-eval: line before a code paragraph without examples (line ${code_first})")
            endif()
        else()
            set(para_file "${but_name}")
            if(pending_set)
                set(para_options "${pending_options}")
            else()
                set(para_options "")
            endif()
            set(para_lines "")
            set(para_inputs "")
            set(para_expected "")
            set(para_ok TRUE)
            math(EXPR code_last "${code_count} - 1")
            foreach(k RANGE ${code_last})
                list(GET code_lines ${k} code_protected)
                list(GET code_numbers ${k} code_number)
                zarl_restore("${code_protected}" code)
                # The text after "\c ".
                string(LENGTH "${code}" code_length)
                if(code_length GREATER 3)
                    string(SUBSTRING "${code}" 3 -1 body)
                else()
                    set(body "")
                endif()
                string(FIND "${body}" " -> " at)
                string(FIND "${body}" " -> " at_last REVERSE)
                if(at LESS 0 OR NOT at EQUAL at_last)
                    zarl_manual_error("${but_name}:${code_number}"
                        "an example line needs exactly one \" -> \": ${code}")
                    set(para_ok FALSE)
                    continue()
                endif()
                string(SUBSTRING "${body}" 0 ${at} expression)
                math(EXPR after "${at} + 4")
                string(SUBSTRING "${body}" ${after} -1 expected)
                string(REGEX REPLACE " +$" "" expression "${expression}")
                string(STRIP "${expected}" expected)
                if(expression STREQUAL "" OR expected STREQUAL "")
                    zarl_manual_error("${but_name}:${code_number}"
                        "an example needs an expression and a result: ${code}")
                    set(para_ok FALSE)
                    continue()
                endif()
                zarl_protect("${expression}" expression)
                zarl_protect("${expected}" expected)
                list(APPEND para_lines ${code_number})
                list(APPEND para_inputs "${expression}")
                list(APPEND para_expected "${expected}")
            endforeach()
            if(para_ok)
                math(EXPR examples "${examples} + ${code_count}")
                zarl_run_paragraph()
            endif()
        endif()
        set(pending_set FALSE)
        set(pending_options "")
    endif()
    set(code_lines "")
    set(code_numbers "")
endmacro()

file(GLOB but_files "${ZARL_MANUAL_DIR}/*.but")
list(SORT but_files)
if(NOT but_files)
    message(FATAL_ERROR "run_examples.cmake: no .but files in ${ZARL_MANUAL_DIR}")
endif()

foreach(but_file IN LISTS but_files)
    get_filename_component(but_name "${but_file}" NAME)
    file(READ "${but_file}" but_text)
    zarl_split_lines("${but_text}" but_lines DROP_CR)
    set(code_lines "")
    set(code_numbers "")
    set(pending_set FALSE)
    set(pending_options "")
    set(pending_line 0)
    set(number 0)
    foreach(protected IN LISTS but_lines)
        math(EXPR number "${number} + 1")
        zarl_restore("${protected}" line)
        # A code line: "\c" alone or followed by a space.
        if(line MATCHES "^\\\\c( |$)")
            list(APPEND code_lines "${protected}")
            list(APPEND code_numbers ${number})
            continue()
        endif()
        zarl_end_paragraph()
        if(line MATCHES "^\\\\# zarl-eval:(.*)$")
            if(pending_set)
                zarl_manual_error("${but_name}:${pending_line}"
                    "a zarl-eval: line without a code paragraph after it")
            endif()
            separate_arguments(pending_options UNIX_COMMAND "${CMAKE_MATCH_1}")
            set(pending_set TRUE)
            set(pending_line ${number})
        elseif(NOT line MATCHES "^[ \t]*$" AND pending_set)
            zarl_manual_error("${but_name}:${pending_line}"
                "a zarl-eval: line must stand just before its code paragraph (line ${number} comes between)")
            set(pending_set FALSE)
        endif()
    endforeach()
    zarl_end_paragraph()
    if(pending_set)
        zarl_manual_error("${but_name}:${pending_line}" "a zarl-eval: line at the end of the file")
    endif()
endforeach()

message(STATUS "manual: ${examples} examples in ${runs} runs of zarl-eval, ${mismatches} mismatches")
if(examples LESS ZARL_MIN_EXAMPLES)
    message("manual: ${examples} examples found, fewer than the ${ZARL_MIN_EXAMPLES} expected")
    math(EXPR failures "${failures} + 1")
endif()

file(REMOVE_RECURSE "${ZARL_SCRATCH}")
if(failures GREATER 0)
    message(FATAL_ERROR "manual: ${failures} failed checks")
endif()
message(STATUS "manual: all examples agree with zarl-eval")
