# One short run of a libFuzzer target, for ctest: every file of the corpora
# (regression inputs first), then ZARL_RUNS mutations from a fixed seed,
# within ZARL_MAX_SECONDS. New inputs go to a scratch folder emptied first, so
# that the folders of the repository are only read; a finding leaves its input
# in ZARL_WORK_DIR as crash-*, timeout-*, leak-* or oom-*, and fails the test.
#
#   cmake -DZARL_FUZZER=<target> -DZARL_WORK_DIR=<dir> "-DZARL_CORPORA=<dir;...>"
#         -DZARL_RUNS=<n> -DZARL_MAX_SECONDS=<s> -P run_fuzz.cmake

foreach(var ZARL_FUZZER ZARL_WORK_DIR ZARL_CORPORA ZARL_RUNS ZARL_MAX_SECONDS)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
        message(FATAL_ERROR "run_fuzz.cmake: ${var} is not set")
    endif()
endforeach()
foreach(dir IN LISTS ZARL_CORPORA)
    if(NOT IS_DIRECTORY ${dir})
        message(FATAL_ERROR "run_fuzz.cmake: corpus folder ${dir} does not exist")
    endif()
endforeach()

set(scratch ${ZARL_WORK_DIR}/new)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
execute_process(
    COMMAND ${ZARL_FUZZER} -seed=1 -runs=${ZARL_RUNS} -max_total_time=${ZARL_MAX_SECONDS}
            -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
            -artifact_prefix=${ZARL_WORK_DIR}/ ${scratch} ${ZARL_CORPORA}
    RESULT_VARIABLE rc
    OUTPUT_VARIABLE out
    ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ZARL_FUZZER} failed (${rc}):\n${out}")
endif()
# The summary: the seed corpus read, the coverage reached and the executions.
string(REGEX MATCHALL "[^\n]*(INFO: seed corpus|INITED|DONE|stat::number_of_executed_units|stat::average_exec_per_sec)[^\n]*"
       summary "${out}")
string(REPLACE ";" "\n" summary "${summary}")
message("${summary}")
