# The environment of a private test prefix and its one-time creation, shared by
# wine-run.sh and wine-session.sh. Sourced, not run.
#
# The loaders are called by their full paths: /usr/bin/wine always picks the
# 32-bit loader when it is installed, even on a kernel that cannot execute it.

zarl_wine_die() {
    echo "wine: $*" >&2
    exit 125
}

# zarl_wine_setup win32|win64 PREFIX: exports the Wine variables and sets
# ZARL_WINE_LOADER to the command (an array) that runs the loader for that
# architecture.
zarl_wine_setup() {
    local arch=$1 prefix=$2 loader
    case "$arch" in
    win32) loader=${ZARL_WINE32:-/usr/lib/wine/wine} ;;
    win64) loader=${ZARL_WINE64:-/usr/lib/wine/wine64} ;;
    *) zarl_wine_die "unknown architecture '$arch' (expected win32 or win64)" ;;
    esac
    [ -x "$loader" ] ||
        zarl_wine_die "$loader is missing (run scripts/install-deps.sh)"
    ZARL_WINE_LOADER=("$loader")
    # Outside a run of i386-host.sh (a ctest started by hand, say), each
    # 32-bit loader call that the kernel would refuse goes through it: the
    # programs it starts keep their qemu registration.
    if [ "$arch" = win32 ] && [ -z "${ZARL_I386_HOST:-}" ] &&
        ! "$loader" --version </dev/null >/dev/null 2>&1; then
        ZARL_WINE_LOADER=(bash "$(dirname "${BASH_SOURCE[0]}")/i386-host.sh" run "$loader")
    fi
    [ -n "$prefix" ] || zarl_wine_die "no prefix given"
    mkdir -p "$(dirname "$prefix")"
    export WINEPREFIX
    WINEPREFIX=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")
    export WINEARCH=$arch
    # A caller may ask for traces (e.g. +winhelp); by default Wine stays quiet so
    # that test output is the program's own.
    export WINEDEBUG=${WINEDEBUG:--all}
    # Never offer to install Wine's .NET or HTML engines: that dialog would wait
    # forever on a display nobody looks at.
    # Nor turn shortcuts made in a prefix (the installer's) into entries of the
    # user's desktop menus: the menu builder writes into ~/.local/share and
    # ~/.config, and while it runs it holds the folder it was started in.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mscoree,mshtml=;winemenubuilder.exe=d"
    # The loader, our -p/-k calls and the server must be one and the same binary;
    # the 64-bit server also serves 32-bit clients.
    if [ -z "${WINESERVER:-}" ]; then
        if [ -x /usr/lib/wine/wineserver64 ]; then
            export WINESERVER=/usr/lib/wine/wineserver64
        else
            export WINESERVER=/usr/lib/wine/wineserver32
        fi
    fi
    ZARL_WINE_LOCK=$WINEPREFIX.lock
    ZARL_WINE_LOG=$WINEPREFIX.log
    ZARL_WINE_SESSION=$WINEPREFIX.session
}

# Runs a Wine command with all three standard streams detached. Wine's service
# processes started by it outlive it; attached to a test's output pipe they
# would keep ctest waiting.
# The lock's descriptor is closed for them too: a wine server that inherited it
# would keep the lock held after a killed test, and every later run would wait.
zarl_wine_detached() {
    if [ -n "${ZARL_WINE_LOCK_FD:-}" ]; then
        "$@" </dev/null >>"$ZARL_WINE_LOG" 2>&1 {ZARL_WINE_LOCK_FD}>&-
    else
        "$@" </dev/null >>"$ZARL_WINE_LOG" 2>&1
    fi
}

# Creates the prefix on first use. Called with the lock held.
zarl_wine_create_prefix_locked() {
    local start=$SECONDS
    rm -rf "$WINEPREFIX"
    : >"$ZARL_WINE_LOG"
    zarl_wine_detached "${ZARL_WINE_LOADER[@]}" wineboot -i ||
        zarl_wine_die "wineboot failed for $WINEPREFIX: $(tail -n 1 "$ZARL_WINE_LOG")"
    # Without a window manager Wine blocks about 2 s whenever a managed window
    # with a caption is hidden; unmanaged windows avoid that.
    zarl_wine_detached "${ZARL_WINE_LOADER[@]}" reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Managed /d N /f ||
        zarl_wine_die "reg add failed, see $ZARL_WINE_LOG"
    # A crash must end the process, not wait for a click on Wine's dialog.
    zarl_wine_detached "${ZARL_WINE_LOADER[@]}" reg add 'HKCU\Software\Wine\WineDbg' \
        /v ShowCrashDialog /t REG_DWORD /d 0 /f ||
        zarl_wine_die "reg add failed, see $ZARL_WINE_LOG"
    touch "$WINEPREFIX/.zarl-ready"
    echo "wine: created $WINEARCH prefix $WINEPREFIX in $((SECONDS - start)) s" >&2
}

# zarl_wine_prepare test|session: makes sure the prefix exists and a wine server
# runs for it whose service processes were started outside the caller's output
# streams. The lock keeps parallel test jobs from creating the prefix twice.
#
# For a test: exit status 2 of the server means one already runs for
# this prefix (a session's, or one still lingering after an earlier run);
# otherwise this starts one that stays 30 s after its last client, so that the
# next test does not pay Wine's start-up again. For a session: any server of
# the prefix is replaced by one that stays until wine-session.sh stop, and whose
# services see the session's display.
zarl_wine_prepare() {
    local mode=$1 persist=-p30
    exec {ZARL_WINE_LOCK_FD}>"$ZARL_WINE_LOCK"
    flock "$ZARL_WINE_LOCK_FD"
    if [ ! -e "$WINEPREFIX/.zarl-ready" ]; then
        zarl_wine_create_prefix_locked
    fi
    if [ "$mode" = session ]; then
        zarl_wine_detached "$WINESERVER" -k || true
        persist=-p
    fi
    if zarl_wine_detached "$WINESERVER" "$persist"; then
        zarl_wine_detached "${ZARL_WINE_LOADER[@]}" cmd /c exit || true
    fi
    flock -u "$ZARL_WINE_LOCK_FD"
    exec {ZARL_WINE_LOCK_FD}>&-
    ZARL_WINE_LOCK_FD=
}

# Points DISPLAY at the session's Xvfb when the caller has no display.
zarl_wine_session_display() {
    if [ -z "${DISPLAY:-}" ] && [ -r "$ZARL_WINE_SESSION" ]; then
        local display
        display=$(sed -n 's/^display=//p' "$ZARL_WINE_SESSION")
        [ -n "$display" ] && export DISPLAY=$display
    fi
    return 0
}
