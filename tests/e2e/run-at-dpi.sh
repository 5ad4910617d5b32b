#!/usr/bin/env bash
# Runs a Windows test program in a prefix of its own whose screen has another
# resolution than the usual 96 DPI (Wine's LogPixels), so that the end-to-end
# cases see ZARL's windows as a scaled display shows them:
#
#   run-at-dpi.sh win32|win64 DPI PREFIX PROGRAM [ARGS...]
#
# The prefix is made on first use, as by wine-run.sh, which runs the program.
set -euo pipefail

[ $# -ge 4 ] || {
    echo "usage: $0 win32|win64 DPI PREFIX PROGRAM [ARGS...]" >&2
    exit 125
}
runner=$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-run.sh
arch=$1 dpi=$2 prefix=$3
shift 3
bash "$runner" "$arch" "$prefix" reg add 'HKCU\Control Panel\Desktop' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null
exec bash "$runner" "$arch" "$prefix" "$@"
