#!/usr/bin/env bash
# Starts and stops what a Windows test suite shares: a persistent wine server
# for the prefix (each Wine process then starts in about 0.05 s instead of
# 2.5 s) and, when DISPLAY is unset, an Xvfb for the programs with windows.
#
#   wine-session.sh start|stop win32|win64 PREFIX
#   wine-session.sh with win32|win64 PREFIX COMMAND [ARGS...]
#
# wine-run.sh finds the session's display in PREFIX.session. Stop ends only
# what belongs to this prefix: its wine server and the Xvfb that start began.
# "with" starts a session, runs COMMAND in it and stops it again, also when
# COMMAND fails or is interrupted; its exit status is COMMAND's.
set -euo pipefail

usage() {
    echo "usage: $0 start|stop win32|win64 PREFIX" >&2
    echo "       $0 with win32|win64 PREFIX COMMAND [ARGS...]" >&2
    exit 2
}
[ $# -eq 3 ] || { [ $# -gt 3 ] && [ "$1" = with ]; } || usage
action=$1
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
zarl_wine_setup "$2" "$3"

session_value() {
    [ -r "$ZARL_WINE_SESSION" ] && sed -n "s/^$1=//p" "$ZARL_WINE_SESSION"
    return 0
}

stop_xvfb() {
    local pid
    pid=$(session_value xvfb_pid)
    # The pid is checked against the program name in case it was reused.
    if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then
        kill "$pid" 2>/dev/null || true
        while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
    fi
}

start_xvfb() {
    local fifo display pid
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    # -displayfd lets Xvfb pick a free display and tells it once it accepts
    # clients; other Xvfbs may run on this machine.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" </dev/null \
        >>"$ZARL_WINE_LOG" 2>&1 &
    pid=$!
    display=$(timeout 20 head -n 1 "$fifo" || true)
    rm -f "$fifo"
    if [ -z "$display" ]; then
        kill "$pid" 2>/dev/null || true
        zarl_wine_die "Xvfb did not start, see $ZARL_WINE_LOG"
    fi
    printf 'display=:%s\nxvfb_pid=%s\n' "$display" "$pid" >"$ZARL_WINE_SESSION"
    export DISPLAY=:$display
}

case "$action" in
start)
    # A session left over by an interrupted run is replaced, not joined.
    stop_xvfb
    rm -f "$ZARL_WINE_SESSION"
    if [ -z "${DISPLAY:-}" ]; then
        start_xvfb
    else
        printf 'display=%s\n' "$DISPLAY" >"$ZARL_WINE_SESSION"
    fi
    zarl_wine_prepare session
    ;;
stop)
    # -k fails when no server runs, which is fine here.
    zarl_wine_detached "$WINESERVER" -k || true
    stop_xvfb
    rm -f "$ZARL_WINE_SESSION"
    ;;
with)
    shift 3
    self=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/$(basename "${BASH_SOURCE[0]}")
    trap 'bash "$self" stop "$WINEARCH" "$WINEPREFIX" || true' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    bash "$self" start "$WINEARCH" "$WINEPREFIX"
    status=0
    # The session's display, for programs that do not go through wine-run.sh.
    zarl_wine_session_display
    "$@" || status=$?
    exit "$status"
    ;;
*) usage ;;
esac
