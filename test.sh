#!/usr/bin/env bash
# Builds every configuration and runs every test suite: native, native-asan and
# the Windows tests under Wine. The product is the 32-bit build (win32), which
# is always built; its tests run under 32-bit Wine where this host can execute
# 32-bit code. Some kernels cannot, so there the same tests run in the 64-bit
# build (win64) under 64-bit Wine instead.
#
# A build failure stops at once; a failing suite lets the others still run, and
# the script exits non-zero at the end.
set -euo pipefail
cd "$(dirname "$0")"

started=$SECONDS
failed=()

note() {
    echo "== $* ($((SECONDS - started)) s)"
}

build() {
    note "$1: configure and build"
    cmake --preset "$1"
    cmake --build --preset "$1"
}

run_tests() {
    note "$1: tests"
    ctest --preset "$1" || failed+=("$1")
}

# Executing the 32-bit loader is the test itself: the file may exist while the
# kernel refuses it ("Exec format error").
wine32_runs() {
    [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1
}

bash scripts/install-deps.sh

build native
run_tests native
build native-asan
run_tests native-asan
build win32

if wine32_runs; then
    win=win32
else
    echo "32-bit Wine cannot run on this host (its kernel refuses 32-bit executables):" \
        "running the Windows tests in the win64 build under 64-bit Wine instead."
    win=win64
    build win64
fi

# One wine server (and an Xvfb when DISPLAY is unset) for the whole suite, so
# that each Wine process starts fast and no Wine service starts inside a test.
prefix=build/$win/wineprefix
session_stop() {
    bash cmake/wine-session.sh stop "$win" "$prefix" || true
}
trap session_stop EXIT
note "$win: starting the Wine session"
bash cmake/wine-session.sh start "$win" "$prefix"
run_tests "$win"
session_stop
trap - EXIT

note "done"
if [ ${#failed[@]} -ne 0 ]; then
    echo "FAILED test suites: ${failed[*]}"
    exit 1
fi
echo "All test suites passed: native native-asan $win"
