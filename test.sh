#!/usr/bin/env bash
# Builds every configuration and runs every test suite: native, native-asan,
# the coverage-guided fuzz targets briefly, every Windows suite on the 32-bit
# product (win32) under 32-bit Wine, and the unit tests of the 64-bit build
# (win64), which keeps the sources clean for both widths. Where the kernel
# refuses 32-bit code, 32-bit Wine runs through qemu-user (cmake/i386-host.sh).
# Only where neither is possible do the Windows suites fall back to the 64-bit
# build, and the output says so.
#
# Two lanes: the Windows suites of the product, which spend much of their time
# waiting for Wine under emulation, run in front; the other builds and suites
# run meanwhile in a second lane at the lowest priority, so that they take only
# what the first leaves over, with their output in build/test-lane2.log (shown
# at the end). A failed build ends its lane; a failing suite lets the others
# still run; the script exits non-zero at the end.
set -euo pipefail
cd "$(dirname "$0")"

started=$SECONDS
stage_started=$SECONDS
stage_name=
stages=()
failed=()
passed=()
skipped=()

# Each stage's time goes into the summary at the end.
stage() {
    finish_stage
    stage_name=$1
    stage_started=$SECONDS
    echo "== $1 ($((SECONDS - started)) s)"
}

finish_stage() {
    if [ -n "$stage_name" ]; then
        stages+=("$(printf '%5d s  %s' $((SECONDS - stage_started)) "$stage_name")")
    fi
    stage_name=
}

build() {
    stage "$1: configure and build"
    cmake --preset "$1"
    cmake --build --preset "$1"
}

# The test cases a suite skipped, one line each ("suite: case: reason"): from
# ctest's own report, where a native build has one ctest test per case, and
# from the GoogleTest reports of the Windows programs, each of which is one
# ctest test. A case skipped inside a program must not pass unseen.
list_skips() {
    local name=$1 dir=$2
    [ -d "$dir" ] || return 0
    awk -v suite="$name" '
        function attr(line, key,   rest) {
            if (!match(line, " " key "=\"[^\"]*\"")) return ""
            rest = substr(line, RSTART + length(key) + 3, RLENGTH - length(key) - 4)
            gsub(/&#x0A;/, " ", rest); gsub(/&quot;/, "\"", rest); gsub(/&apos;/, "\047", rest)
            gsub(/&lt;/, "<", rest); gsub(/&gt;/, ">", rest); gsub(/&amp;/, "\\&", rest)
            return rest
        }
        function flush(reason) { if (pending != "") print suite ": " pending (reason != "" ? ": " reason : ""); pending = "" }
        /<testcase / {
            flush("")
            if ($0 ~ / result="(skipped|suppressed)"/)
                pending = attr($0, "classname") "." attr($0, "name")
            else if ($0 ~ / status="(notrun|disabled)"/)
                pending = attr($0, "name")
            if ($0 ~ /\/>[[:space:]]*$/) flush("")
            next
        }
        pending != "" && /<skipped message=/ {
            reason = attr($0, "message")
            flush(reason == "SKIP_REGULAR_EXPRESSION_MATCHED" ? "" : reason)
            next
        }
        /<\/testcase>/ { flush("") }
        END { flush("") }' "$dir"/*.xml
}

# run_tests NAME PRESET COMMAND...: a suite that fails is remembered, not
# fatal. The reports of PRESET's build tree are read for skipped cases.
run_tests() {
    local name=$1 results=build/$2/test-results
    shift 2
    stage "$name: tests"
    rm -rf "$results"
    mkdir -p "$results"
    if "$@" --output-junit "$PWD/$results/ctest.xml"; then
        passed+=("$name")
    else
        failed+=("$name")
    fi
    local line
    while IFS= read -r line; do
        skipped+=("$line")
    done < <(list_skips "$name" "$results")
}

# A Windows suite runs in a Wine session of its own (one wine server and, when
# DISPLAY is unset, one Xvfb), which ends with it.
wine_suite() {
    local preset=$1
    shift
    bash cmake/wine-session.sh with "${preset%%-*}" "build/${preset%%-*}/wineprefix" \
        ctest --preset "$preset" "$@"
}

stage "packages"
bash scripts/install-deps.sh

i386=$(bash cmake/i386-host.sh probe || true)
fallback=
case "$i386" in
native | qemu)
    how="32-bit code runs natively"
    [ "$i386" = qemu ] && how="the kernel refuses 32-bit code: under qemu-user, as emulation"
    echo "The 32-bit product runs here ($how)."
    ;;
*)
    fallback="FALLBACK: the 32-bit product was built but NOT run; the Windows suites ran on the 64-bit build"
    cat <<'TEXT'
************************************************************************
* 32-bit programs cannot run on this machine: its kernel refuses them  *
* and qemu-user could not run them (see cmake/i386-host.sh probe).     *
* The Windows suites run on the 64-bit build instead; the 32-bit       *
* product ZARL.exe is built but NOT tested.                            *
************************************************************************
TEXT
    ;;
esac

build native
run_tests native native ctest --preset native
build win32
[ -n "$fallback" ] && build win64

# The second lane: its stages, results and skipped cases come back through a
# file; without it the lane failed (a build broke), as its log tells.
lane2_log=build/test-lane2.log
lane2_results=build/test-lane2.results
rm -f "$lane2_results"
lane2() {
    stages=() failed=() passed=() skipped=()
    stage_name= stage_started=$SECONDS
    build native-asan
    run_tests native-asan native-asan ctest --preset native-asan
    build fuzz
    run_tests fuzz fuzz ctest --preset fuzz
    if [ -z "$fallback" ]; then
        build win64
        run_tests win64-unit win64 wine_suite win64-unit
    fi
    finish_stage
    declare -p stages failed passed skipped >"$lane2_results"
}
# A session of its own, so that an interrupted run ends the whole lane.
setsid nice -n 19 bash -c "$(declare -f); $(declare -p fallback lane2_results started)
    set -euo pipefail; lane2" >"$lane2_log" 2>&1 </dev/null &
lane2_pid=$!
stop_lane2() { kill -- "-$lane2_pid" 2>/dev/null || true; }
trap stop_lane2 EXIT

if [ -z "$fallback" ]; then
    # Isolated: whatever the suites start ends with them, even when killed.
    run_tests win32 win32 bash cmake/i386-host.sh run --isolated bash cmake/wine-session.sh \
        with win32 build/win32/wineprefix ctest --preset win32
else
    run_tests win64 win64 wine_suite win64
fi
finish_stage

echo "== waiting for the second lane ($((SECONDS - started)) s)"
wait "$lane2_pid" || true
trap - EXIT
echo "== the second lane's output:"
sed 's/^/  | /' "$lane2_log"
if [ -r "$lane2_results" ]; then
    main_stages=("${stages[@]}") main_failed=("${failed[@]}")
    main_passed=("${passed[@]}") main_skipped=("${skipped[@]}")
    # shellcheck source=/dev/null
    . "$lane2_results"
    stages=("${main_stages[@]}" "${stages[@]/%/ (second lane)}")
    failed=("${main_failed[@]}" "${failed[@]}")
    passed=("${main_passed[@]}" "${passed[@]}")
    skipped=("${main_skipped[@]}" "${skipped[@]}")
else
    failed+=("second lane (a build failed: see above)")
fi

echo "== done in $((SECONDS - started)) s; time of each stage:"
printf '%s\n' "${stages[@]}"
skips="no test case skipped"
if [ ${#skipped[@]} -ne 0 ]; then
    echo "== ${#skipped[@]} test case(s) skipped:"
    printf '  %s\n' "${skipped[@]}"
    skips="${#skipped[@]} test case(s) skipped (listed above)"
fi
[ -n "$fallback" ] && echo "$fallback"
if [ ${#failed[@]} -ne 0 ]; then
    echo "FAILED test suites: ${failed[*]}; passed: ${passed[*]:-none}; $skips${fallback:+ ($fallback)}"
    exit 1
fi
echo "All test suites passed: ${passed[*]}; $skips${fallback:+ ($fallback)}"
