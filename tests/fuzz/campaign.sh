#!/usr/bin/env bash
# The long fuzz campaign: every libFuzzer target of tests/fuzz for a number of
# executions (default 10 million each) or seconds, in a scratch corpus outside
# the repository, then a report per target: executions, executions per second,
# libFuzzer's edge coverage ("cov:", "ft:") and the line coverage of the
# target's own code (a second build with clang's source-based coverage replays
# the final corpus).
#
#   bash tests/fuzz/campaign.sh [--runs=N | SECONDS | --report] [--merge] [TARGET...]
#
# --report  runs nothing, only reports again on the last campaign's results
# --merge   afterwards minimizes tests/fuzz/corpus/TARGET (libFuzzer -merge=1 on
#           edge coverage alone) and adds the new inputs that reach further
#           edges, of at most 512 bytes (4096 for help files); it can add
#           hundreds of inputs, so look at the count before keeping them
# TARGET    eval, clipboard, codec, helpfile (default: all)
#
# Environment: ZARL_FUZZ_SCRATCH (default /tmp/zarl-fuzz-campaign) holds the
# corpora, logs and findings; ZARL_FUZZ_JOBS (default 2) targets run at once.
# Everything runs under nice -n 10. A finding stops its target, leaves its
# input as SCRATCH/TARGET/crash-* (or timeout-, leak-, oom-), and makes the
# script exit 1: fix the fault and copy the input to tests/fuzz/regressions/TARGET.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
scratch=${ZARL_FUZZ_SCRATCH:-/tmp/zarl-fuzz-campaign}
jobs=${ZARL_FUZZ_JOBS:-2}
limit=(-runs=10000000)
report_only=
merge=
targets=()
for arg in "$@"; do
    case "$arg" in
    --runs=*) limit=(-runs="${arg#--runs=}") ;;
    --report) report_only=yes ;;
    --merge) merge=yes ;;
    [0-9]*) limit=(-max_total_time="$arg") ;;
    eval | clipboard | codec | helpfile) targets+=("$arg") ;;
    *)
        echo "usage: $0 [--runs=N | SECONDS | --report] [--merge] [eval|clipboard|codec|helpfile...]" >&2
        exit 2
        ;;
    esac
done
# The slowest first, so that two jobs finish together.
[ ${#targets[@]} -ne 0 ] || targets=(helpfile eval clipboard codec)

# The code each target is about, for its line coverage.
own_sources() {
    case "$1" in
    eval) echo eval/evaluate.cpp eval/operators.cpp eval/format.cpp eval/decimal.cpp eval/mathlib.cpp ;;
    clipboard) echo app/cycle_text.cpp ;;
    codec) echo settings/settings_codec.cpp settings/constants.cpp eval/decimal.cpp ;;
    helpfile) echo tools/helpfile.cpp ;;
    esac
}

cd "$repo"
nice -n 10 cmake --preset fuzz >/dev/null
nice -n 10 cmake --build --preset fuzz >/dev/null
coverage=$scratch/coverage-build
nice -n 10 cmake -S . -B "$coverage" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARL_LIBFUZZER=ON -DZARL_FUZZ_COVERAGE=ON >/dev/null
nice -n 10 cmake --build "$coverage" --target zarl_fuzz_targets -j 2 >/dev/null

run_target() {
    local t=$1 dir=$scratch/$1
    mkdir -p "$dir/corpus"
    rm -f "$dir"/crash-* "$dir"/timeout-* "$dir"/leak-* "$dir"/oom-*
    # An expression is at most 1024 bytes; inputs of many long expressions
    # would only slow the evaluator's campaign down.
    local options=()
    [ "$t" = eval ] && options=(-max_len=1100)
    local rc=0
    nice -n 10 build/fuzz/tests/fuzz/fuzz_$t "${limit[@]}" "${options[@]}" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/" \
        "$dir/corpus" tests/fuzz/corpus/$t tests/fuzz/regressions/$t >"$dir/fuzz.log" 2>&1 || rc=$?
    echo "$rc" >"$dir/status"
}

pids=()
for t in "${targets[@]}"; do
    [ -z "$report_only" ] || break
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 5; done
    run_target "$t" &
    pids+=($!)
done
[ ${#pids[@]} -eq 0 ] || wait "${pids[@]}"

failed=0
printf '%-10s %12s %8s %7s %8s %8s  %s\n' target executions exec/s cov ft corpus "lines of its own code"
for t in "${targets[@]}"; do
    dir=$scratch/$t
    log=$dir/fuzz.log
    if [ ! -f "$dir/status" ]; then
        printf '%-10s not run\n' "$t"
        failed=1
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    last=$(grep -aE '^#[0-9]+' "$log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([^ ]*\).*/\1/p' <<<"$last")

    # Line coverage: the coverage build replays the final corpus.
    rm -f "$dir"/*.profraw
    LLVM_PROFILE_FILE="$dir/replay.profraw" nice -n 10 "$coverage/tests/fuzz/fuzz_$t" -runs=0 \
        "$dir/corpus" tests/fuzz/corpus/$t tests/fuzz/regressions/$t >"$dir/replay.log" 2>&1 || true
    lines=-
    if [ -f "$dir/replay.profraw" ]; then
        llvm-profdata merge -sparse "$dir/replay.profraw" -o "$dir/replay.profdata"
        llvm-cov report "$coverage/tests/fuzz/fuzz_$t" -instr-profile="$dir/replay.profdata" \
            >"$dir/coverage.txt"
        # The rows of the target's own files (their names as the build wrote
        # them, ending in the source path): lines, missed lines.
        lines=$(awk -v own="$(own_sources "$t")" '
            BEGIN { n = split(own, files, " ") }
            { for (i = 1; i <= n; i++) if ($1 == files[i] || substr($1, length($1) - length(files[i])) == "/" files[i]) { total += $8; missed += $9 } }
            END { if (total > 0) printf "%.2f%% of %d lines", 100 * (total - missed) / total, total }' \
            "$dir/coverage.txt")
    fi
    printf '%-10s %12s %8s %7s %8s %8s  %s\n' "$t" "${runs:--}" "${speed:--}" "${cov:--}" \
        "${ft:--}" "${corp:--}" "$lines"
    if [ "$(cat "$dir/status")" != 0 ]; then
        failed=1
        echo "  FINDING: $(grep -a -m1 -E 'invariant broken|ERROR: ' "$log" || echo "exit $(cat "$dir/status")")"
        ls "$dir"/crash-* "$dir"/timeout-* "$dir"/leak-* "$dir"/oom-* 2>/dev/null | sed 's/^/  input: /' || true
    fi
done
echo "logs, corpora and coverage reports: $scratch/TARGET/"

if [ -n "$merge" ] && [ "$failed" = 0 ]; then
    for t in "${targets[@]}"; do
        merged=$scratch/$t/merged
        rm -rf "$merged"
        mkdir -p "$merged"
        # Small inputs only (help files need their B-tree pages), and edges
        # only: an input is kept when it reaches code that none before it
        # reached, not for another hit count or comparison.
        max_len=512
        [ "$t" = helpfile ] && max_len=4096
        for source in tests/fuzz/corpus/$t "$scratch/$t/corpus"; do
            nice -n 10 build/fuzz/tests/fuzz/fuzz_$t -merge=1 -use_counters=0 -use_cmp=0 \
                -max_len=$max_len "$merged" "$source" >>"$scratch/$t/merge.log" 2>&1
        done
        rm -f tests/fuzz/corpus/$t/*
        cp "$merged"/* tests/fuzz/corpus/$t/
        echo "$t: seed corpus of $(ls tests/fuzz/corpus/$t | wc -l) inputs"
    done
fi
exit "$failed"
