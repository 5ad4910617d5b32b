#!/usr/bin/env bash
# Prints the end-to-end figures of ZARL.exe for the README: clipboard latency
# (median and 95th percentile), start-up time and the memory of the running
# program, measured by zarl_e2e_measure under Wine. Not part of ctest.
#
#   tests/e2e/measure.sh [win32|win64] [--changes=N] [--starts=N]
#
# The preset defaults to win32 where this host runs 32-bit Wine, else win64;
# build it first (cmake --build --preset PRESET). The figures come from the
# build's test prefix, whose stored settings are reset, as the tests do. A Wine
# session (wine server and, without DISPLAY, an Xvfb) is started for the run
# and stopped after it, unless one is already running for that prefix.
set -euo pipefail
cd "$(dirname "$0")/../.."

if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
    preset=$1
    shift
elif [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1; then
    preset=win32
else
    preset=win64
fi
case "$preset" in
win32 | win64) ;;
*)
    echo "usage: $0 [win32|win64] [--changes=N] [--starts=N]" >&2
    exit 2
    ;;
esac

build=build/$preset
measure=$build/tests/e2e/zarl_e2e_measure.exe
if [ ! -f "$measure" ] || [ ! -f "$build/ZARL.exe" ]; then
    echo "$measure or $build/ZARL.exe is missing: run cmake --preset $preset && cmake --build --preset $preset" >&2
    exit 2
fi
prefix=$build/wineprefix

if [ ! -r "$prefix.session" ]; then
    bash cmake/wine-session.sh start "$preset" "$prefix"
    trap 'bash cmake/wine-session.sh stop "$preset" "$prefix"' EXIT
fi

echo "== $preset, $(nproc) cores, $(/usr/lib/wine/wine64 --version 2>/dev/null || echo wine)"
bash cmake/wine-run.sh "$preset" "$prefix" "$measure" "$@"
