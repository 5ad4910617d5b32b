#!/usr/bin/env bash
# Soaks the running ZARL.exe: 100,000 clipboard changes (or --changes=N) made
# by zarl_e2e_soak under Wine, with the settings and windows changed on the
# way, then the end checks; prints the figures (changes, time, rate, memory
# after 1,000 changes and at the end, the count of each kind of change) and
# exits 1 when a check fails. Not part of ctest (soak_short is, briefly).
#
#   tests/e2e/soak.sh [win32|win64] [--changes=N] [--seed=N]
#
# The preset defaults to win32 (the product) where this host runs 32-bit Wine,
# natively or through qemu-user, else win64; build it first (cmake --build
# --preset PRESET): this script builds nothing. The soak runs in a prefix of
# its own, build/PRESET/soak-prefix, with its own wine server and (without
# DISPLAY) its own Xvfb, so that its clipboard and windows are not those of a
# test run in the build's wineprefix; the stored settings there are reset.
# Run it with nice: it keeps a core busy for the whole run.
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
    echo "usage: $0 [win32|win64] [--changes=N] [--seed=N]" >&2
    exit 2
}

build=build/$preset
soak=$build/tests/e2e/zarl_e2e_soak.exe
zarl_product_built "$preset" "$soak" "$build/ZARL.exe" || exit 2
prefix=$build/soak-prefix

echo "== $(zarl_product_label "$preset"), prefix $prefix"
# The soak runs in a session of its own, which ends with it.
zarl_product_session "$preset" "$prefix" bash cmake/wine-run.sh "$preset" "$prefix" "$soak" "$@"
