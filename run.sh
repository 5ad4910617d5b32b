#!/usr/bin/env bash
# Installs what is missing, builds ZARL.exe and starts it under Wine: on this
# display, or on a private Xvfb display when there is none. The 32-bit program
# runs natively where the kernel executes 32-bit code, else through qemu-user
# (cmake/i386-host.sh); only where neither works does the 64-bit build of the
# same sources run under 64-bit Wine, and this script says so.
#
#   ./run.sh                  installs, builds and starts ZARL
#   ./run.sh --autostart      installs and builds, then makes ZARL start at
#                             every log-in (an XDG autostart entry that runs
#                             desktop/start-zarl.sh, which builds nothing)
#   ./run.sh --no-autostart   removes that entry again
set -euo pipefail
cd "$(dirname "$0")"

# The autostart entry of this user's desktop sessions (XDG autostart).
autostart_entry=${XDG_CONFIG_HOME:-$HOME/.config}/autostart/zarl.desktop
action=start
case "${1:-}" in
"") ;;
--autostart) action=autostart ;;
--no-autostart)
    if [ -e "$autostart_entry" ]; then
        rm -f "$autostart_entry"
        echo "Removed $autostart_entry: ZARL no longer starts at log-in."
    else
        echo "There is no $autostart_entry: ZARL does not start at log-in."
    fi
    exit 0
    ;;
*)
    echo "usage: $0 [--autostart | --no-autostart]" >&2
    exit 2
    ;;
esac

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

if [ "$action" = autostart ]; then
    start=$root/desktop/start-zarl.sh
    # The path goes into the entry's Exec line, quoted; characters that the
    # entry format would need escaped there are refused rather than escaped.
    case "$start" in
    *[\"\`\$\\%]* | *$'\n'*)
        echo "run.sh: the path $start holds a character an autostart entry cannot carry" \
            "(one of \" \` \$ \\ %); move the checkout" >&2
        exit 1
        ;;
    esac
    mkdir -p "$(dirname "$autostart_entry")"
    # Written whole and then moved into place: a second run replaces the one
    # entry, and a session reading the folder never sees half a file.
    template=$(<desktop/zarl.desktop.in)
    printf '%s\n' "${template//@START@/"$start"}" >"$autostart_entry.tmp"
    mv -f "$autostart_entry.tmp" "$autostart_entry"
    cat <<TEXT
Wrote $autostart_entry:
  ZARL ($preset build, Wine prefix $prefix) starts at every log-in,
  on the desktop's display; its output goes to build/$preset/desktop.log.
  It starts the program built now and builds nothing; after changing the
  sources, build again with ./run.sh. Start it now with ./run.sh, or undo
  with ./run.sh --no-autostart.
TEXT
    exit 0
fi

# A ZARL started at log-in from this checkout uses the same prefix: a second
# session there would end it (desktop/start-zarl.sh holds this lock).
if ! flock -n "build/$preset/desktop.lock" true 2>/dev/null; then
    echo "ZARL already runs on this desktop (started at log-in by desktop/start-zarl.sh)." >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ]; then
    # Wine's X11 driver joins the Windows clipboard and the X CLIPBOARD
    # selection, so native programs' copies reach ZARL too. Under Wayland,
    # DISPLAY is XWayland's, which carries Wayland programs' copies across.
    cat <<TEXT
ZARL is starting on your display $DISPLAY, minimized, and watches the clipboard
of every program on this display${WAYLAND_DISPLAY:+ (Wayland programs through XWayland)}:
  Copy  1+2=  in any program, Linux or Windows, paste: the clipboard now holds 3.
  Restore the ZARL window for the settings; its system menu switches evaluation
  on and off. Close the window (or press Ctrl+C here) to stop.
  ./run.sh --autostart starts it at every log-in.
TEXT
else
    cat <<'TEXT'
ZARL is starting on a private Xvfb display (there is no DISPLAY), minimized,
and watches the clipboard there.
  Copy  1+2=  in any program (under this Wine), paste: the clipboard now holds 3.
  Restore the ZARL window for the settings; its system menu switches evaluation
  on and off. Close the window (or press Ctrl+C here) to stop.
TEXT
fi
# From the program's own directory, where its help file ZARL.HLP lies: the help
# viewer looks for it in the current directory. The session (wine server and,
# without a display, Xvfb) and everything started in it end with ZARL.
# shellcheck source=cmake/product.sh
. cmake/product.sh
cd "build/$preset"
zarl_product_session "$preset" "$prefix" bash "$root/cmake/wine-run.sh" "$preset" "$prefix" ZARL.exe
