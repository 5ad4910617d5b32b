#!/usr/bin/env bash
# Runs one Windows program under Wine, in a private prefix of the build tree;
# the cross toolchains name it as CMAKE_CROSSCOMPILING_EMULATOR, so ctest runs
# every Windows test through it. The program's exit code is this script's.
#
#   wine-run.sh win32|win64 PREFIX PROGRAM [ARGS...]
#
# The prefix is created on first use. The program gets DISPLAY from the caller,
# else from a session started by wine-session.sh (its Xvfb), else none: console
# programs need no display, GUI tests need a session or a DISPLAY.
set -euo pipefail

[ $# -ge 3 ] || {
    echo "usage: $0 win32|win64 PREFIX PROGRAM [ARGS...]" >&2
    exit 125
}
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

zarl_wine_setup "$1" "$2"
shift 2
zarl_wine_prepare test
zarl_wine_session_display
exec "${ZARL_WINE_LOADER[@]}" "$@"
