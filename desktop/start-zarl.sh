#!/usr/bin/env bash
# Starts the built ZARL.exe under Wine on the desktop's X display; the XDG
# autostart entry that "./run.sh --autostart" writes runs this at every
# log-in. It builds nothing: the program is the one ./run.sh built, in the
# same Wine prefix (so with the same settings), started from its own folder,
# where the help engine finds ZARL.HLP. The 32-bit product runs natively where
# the kernel executes 32-bit code, else through qemu-user (cmake/i386-host.sh);
# only where neither works does the 64-bit build run, as with ./run.sh.
# What it prints goes to build/PRESET/desktop.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# shellcheck source=../cmake/product.sh
. cmake/product.sh
preset=$(zarl_product_preset)
build=$root/build/$preset
zarl_product_built "$preset" "$build/ZARL.exe" || exit 1
exec >>"$build/desktop.log" 2>&1
echo "$(date '+%F %T') starting $build/ZARL.exe on display ${DISPLAY:-(none)}"
# Wine draws on X11 only; under Wayland that is XWayland, which sets DISPLAY.
if [ -z "${DISPLAY:-}" ]; then
    echo "start-zarl: no X display (DISPLAY is unset): not started"
    exit 1
fi
# One ZARL a checkout: a second start (a second log-in, or the entry run by
# hand) would replace the wine server, and the running ZARL with it. ./run.sh
# checks the same lock.
exec 9>>"$build/desktop.lock"
if ! flock -n 9; then
    echo "start-zarl: ZARL already runs from this checkout: not started again"
    exit 0
fi

prefix=$build/wineprefix
cd "$build"
zarl_product_session "$preset" "$prefix" bash "$root/cmake/wine-run.sh" "$preset" "$prefix" ZARL.exe
