#!/usr/bin/env bash
# Prints the end-to-end figures of ZARL.exe for the README: clipboard latency
# (median and 95th percentile), start-up time and the memory of the running
# program, measured by zarl_e2e_measure under Wine. Not part of ctest.
#
#   tests/e2e/measure.sh [win32|win64] [--changes=N] [--starts=N]
#
# The preset defaults to win32 (the product) where this host runs 32-bit Wine,
# natively or through qemu-user, else win64; build it first (cmake --build
# --preset PRESET). The figures come from the build's test prefix, whose stored
# settings are reset, as the tests do. A Wine session (wine server and, without
# DISPLAY, an Xvfb) is started for the run and stopped after it.
set -euo pipefail
cd "$(dirname "$0")/../.."

# shellcheck source=../../cmake/product.sh
. cmake/product.sh
first=
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
    first=$1
    shift
fi
preset=$(zarl_product_preset "$first")
[ -n "$preset" ] || {
    echo "usage: $0 [win32|win64] [--changes=N] [--starts=N]" >&2
    exit 2
}

build=build/$preset
measure=$build/tests/e2e/zarl_e2e_measure.exe
zarl_product_built "$preset" "$measure" "$build/ZARL.exe" || exit 2
prefix=$build/wineprefix

echo "== $(zarl_product_label "$preset")"
# The figures are taken in a session of their own, which ends with them.
zarl_product_session "$preset" "$prefix" bash cmake/wine-run.sh "$preset" "$prefix" "$measure" "$@"
