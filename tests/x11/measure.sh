#!/usr/bin/env bash
# Prints the latency of ZARL.exe through X11 for the README: from a native
# program's copy of an expression (the CLIPBOARD selection) to ZARL's result
# being readable by a native program, median and 95th percentile over N
# copies (default 200), measured by zarl-x11-clipboard, which pays no process
# start per copy. Not part of ctest (x11_clipboard is).
#
#   tests/x11/measure.sh [win32|win64] [--rounds=N]
#
# The preset defaults to win32 (the product) where this host runs 32-bit Wine,
# natively or through qemu-user, else win64; build it first (cmake --build
# --preset PRESET). The figures come from the build's test prefix, whose stored
# settings are reset, as the tests do, on a private Xvfb display even on a
# desktop: a desktop's clipboard manager takes every copy over, and the
# figures would be its.
set -euo pipefail
cd "$(dirname "$0")/../.."

preset=
rounds=200
for arg in "$@"; do
    case "$arg" in
    win32 | win64) preset=$arg ;;
    --rounds=[1-9]*) rounds=${arg#--rounds=} ;;
    *)
        echo "usage: $0 [win32|win64] [--rounds=N]" >&2
        exit 2
        ;;
    esac
done
# shellcheck source=../../cmake/product.sh
. cmake/product.sh
preset=$(zarl_product_preset "$preset")

build=$PWD/build/$preset
tool=$build/host/zarl-x11-clipboard
helper=$build/tests/x11/zarl_x11_helper.exe
zarl_product_built "$preset" "$tool" "$helper" "$build/ZARL.exe" || exit 2
prefix=$build/wineprefix

echo "== $(zarl_product_label "$preset"), X11 clipboard"
# A session of its own (wine server, Xvfb even on a desktop), which ends with
# the figures.
unset DISPLAY
zarl_product_session "$preset" "$prefix" \
    "$tool" --zarl="$build/ZARL.exe" --helper="$helper" --measure="$rounds" \
    --wine-log="$build/tests/x11/measure-wine.log" -- "$PWD/cmake/wine-run.sh" "$preset" "$prefix"
