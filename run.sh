#!/usr/bin/env bash
# Installs what is missing, builds ZARL.exe and starts it under Wine: on this
# display, or on a private Xvfb display when there is none. The 32-bit program
# runs where this machine can execute 32-bit code; elsewhere the 64-bit build
# of the same sources runs under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh

# Executing the 32-bit loader is the test itself: the file may exist while the
# kernel refuses it ("Exec format error").
if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1; then
    preset=win32
else
    preset=win64
    echo "This machine cannot run 32-bit programs: starting the 64-bit build under 64-bit Wine."
fi

# The build's own output only matters when it fails.
log=build/run-build.log
mkdir -p build
if ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target ZARL zarl_help_beside_exe; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: the build failed (log: $log)" >&2
    exit 1
fi

prefix=build/$preset/wineprefix
root=$PWD
stop_session() {
    bash "$root/cmake/wine-session.sh" stop "$preset" "$root/$prefix" || true
}
trap stop_session EXIT
bash "$root/cmake/wine-session.sh" start "$preset" "$root/$prefix"

cat <<'TEXT'
ZARL is running, minimized, and watches the clipboard.
  Copy  1+2=  in any program (under this Wine), paste: the clipboard now holds 3.
  Restore the ZARL window for the settings; its system menu switches evaluation
  on and off. Close the window (or press Ctrl+C here) to stop.
TEXT
# From the program's own directory, where its help file ZARL.HLP lies: the help
# viewer looks for it in the current directory.
cd "build/$preset"
bash "$root/cmake/wine-run.sh" "$preset" "$root/$prefix" ZARL.exe
