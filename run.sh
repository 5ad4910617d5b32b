#!/usr/bin/env bash
# Installs what is missing, builds ZARL.exe and starts it under Wine: on this
# display, or on a private Xvfb display when there is none. The 32-bit program
# runs natively where the kernel executes 32-bit code, else through qemu-user
# (cmake/i386-host.sh); only where neither works does the 64-bit build of the
# same sources run under 64-bit Wine, and this script says so.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh

case "$(bash cmake/i386-host.sh probe || true)" in
native) preset=win32 ;;
qemu)
    preset=win32
    echo "This machine's kernel refuses 32-bit programs: the 32-bit ZARL.exe runs through qemu-user."
    ;;
*)
    preset=win64
    echo "WARNING: this machine cannot run 32-bit programs (not even through qemu-user):" \
        "starting the 64-bit build instead of the 32-bit product."
    ;;
esac

# The build's own output only matters when it fails.
log=build/run-build.log
mkdir -p build
if ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target ZARL zarl_help_beside_exe; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: the build failed (log: $log)" >&2
    exit 1
fi

root=$PWD
prefix=$root/build/$preset/wineprefix

cat <<'TEXT'
ZARL is starting, minimized, and watches the clipboard.
  Copy  1+2=  in any program (under this Wine), paste: the clipboard now holds 3.
  Restore the ZARL window for the settings; its system menu switches evaluation
  on and off. Close the window (or press Ctrl+C here) to stop.
TEXT
# From the program's own directory, where its help file ZARL.HLP lies: the help
# viewer looks for it in the current directory. The session (wine server and,
# without a display, Xvfb) and everything started in it end with ZARL.
cd "build/$preset"
wrap=()
[ "$preset" = win32 ] && wrap=(bash "$root/cmake/i386-host.sh" run --isolated)
exec "${wrap[@]}" bash "$root/cmake/wine-session.sh" with "$preset" "$prefix" \
    bash "$root/cmake/wine-run.sh" "$preset" "$prefix" ZARL.exe
