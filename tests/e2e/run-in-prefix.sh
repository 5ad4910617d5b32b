#!/usr/bin/env bash
# Runs a Windows test program in a prefix of its own, as wine-run.sh does, for
# the cases that need another prefix than the suite's:
#
#   run-in-prefix.sh [--fresh] [--dpi N] win32|win64 PREFIX PROGRAM [ARGS...]
#
# --fresh  the prefix is made anew first (ZARL was never installed there)
# --dpi N  the screen has N DPI instead of the usual 96 (Wine's LogPixels),
#          so that the cases see ZARL's windows as a scaled display shows them
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fresh=no
dpi=
while [ $# -gt 0 ]; do
    case "$1" in
    --fresh) fresh=yes ;;
    --dpi)
        dpi=$2
        shift
        ;;
    *) break ;;
    esac
    shift
done
[ $# -ge 3 ] || {
    echo "usage: $0 [--fresh] [--dpi N] win32|win64 PREFIX PROGRAM [ARGS...]" >&2
    exit 125
}
arch=$1 prefix=$2
shift 2

if [ "$fresh" = yes ]; then
    # shellcheck source=../../cmake/wine-env.sh
    . "$here/../../cmake/wine-env.sh"
    zarl_wine_setup "$arch" "$prefix"
    zarl_wine_detached "$WINESERVER" -k || true
    rm -rf "$WINEPREFIX"
fi
if [ -n "$dpi" ]; then
    bash "$here/../../cmake/wine-run.sh" "$arch" "$prefix" reg add 'HKCU\Control Panel\Desktop' \
        /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null
fi
exec bash "$here/../../cmake/wine-run.sh" "$arch" "$prefix" "$@"
