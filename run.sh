#!/usr/bin/env bash
# Builds the native console evaluator and starts it on this terminal: type an
# expression per line. Arguments are passed to zarl-eval unchanged.
set -euo pipefail
cd "$(dirname "$0")"

bash scripts/install-deps.sh

# The build's own output only matters when it fails; the terminal belongs to
# the evaluator.
log=build/run-build.log
build_native() {
    # Configuring once is enough: the build re-runs CMake when its files change.
    { [ -f build/native/build.ninja ] || cmake --preset native; } &&
        cmake --build --preset native --target zarl-eval
}
mkdir -p build
if ! build_native >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: the build failed (log: $log)" >&2
    exit 1
fi

exec build/native/zarl-eval "$@"
