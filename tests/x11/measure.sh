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
if [ -z "$preset" ]; then
    preset=win64
    bash cmake/i386-host.sh probe >/dev/null && preset=win32
fi

build=$PWD/build/$preset
tool=$build/host/zarl-x11-clipboard
helper=$build/tests/x11/zarl_x11_helper.exe
for file in "$tool" "$helper" "$build/ZARL.exe"; do
    if [ ! -f "$file" ]; then
        echo "$file is missing: run cmake --preset $preset && cmake --build --preset $preset" >&2
        exit 2
    fi
done
prefix=$build/wineprefix

if [ "$preset" = win32 ]; then
    how=$(bash cmake/i386-host.sh probe || true)
    [ "$how" = qemu ] && how="32-bit, UNDER EMULATION (qemu-user $(qemu-i386 --version | sed -n '1s/.*version \([^ ]*\).*/\1/p'))"
else
    how=64-bit
fi
echo "== $preset ($how), $(nproc) cores, $(/usr/lib/wine/wine64 --version 2>/dev/null || echo wine), X11 clipboard"
# A session of its own (wine server, Xvfb), which ends with the figures.
wrap=()
[ "$preset" = win32 ] && wrap=(bash cmake/i386-host.sh run --isolated)
exec env -u DISPLAY "${wrap[@]}" bash cmake/wine-session.sh with "$preset" "$prefix" \
    "$tool" --zarl="$build/ZARL.exe" --helper="$helper" --measure="$rounds" \
    --wine-log="$build/tests/x11/measure-wine.log" -- "$PWD/cmake/wine-run.sh" "$preset" "$prefix"
