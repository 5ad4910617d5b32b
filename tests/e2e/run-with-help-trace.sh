#!/usr/bin/env bash
# Runs the end-to-end test program with the help engine's requests traced to a
# file, which the help cases read:
#
#   run-with-help-trace.sh TRACE-FILE COMMAND [ARGS...]
#
# Under Wine, WinHelpA starts winhlp32.exe; with WINEDEBUG=+winhelp it prints
# each request it gets ("trace:winhelp:WINHELP_HandleCommand Got[25]: cmd=1
# data=00000083 fn="ZARL.HLP"") to the Unix standard error, which it inherits
# through ZARL.exe from the test program. So that error stream goes to the
# file (Wine's own messages of every process of the run with it), and the test
# finds the file through ZARL_E2E_HELP_TRACE. Standard output stays the test's.
set -euo pipefail

[ $# -ge 2 ] || {
    echo "usage: $0 TRACE-FILE COMMAND [ARGS...]" >&2
    exit 125
}
trace=$1
shift
mkdir -p "$(dirname "$trace")"
: >"$trace"
export ZARL_E2E_HELP_TRACE
ZARL_E2E_HELP_TRACE=$(cd "$(dirname "$trace")" && pwd)/$(basename "$trace")
export WINEDEBUG=+winhelp
exec "$@" 2>>"$ZARL_E2E_HELP_TRACE"
