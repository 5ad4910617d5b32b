# Shared by the scripts that run the product (run.sh, desktop/start-zarl.sh,
# tests/e2e/measure.sh, tests/e2e/soak.sh, tests/x11/measure.sh): which build
# to run, whether it is built, how to name it in figures, and the Wine session
# it runs in. Sourced, not run.

ZARL_CMAKE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# zarl_product_preset [PRESET]: prints PRESET when it is win32 or win64 (empty
# when it is something else), or without one the product, win32, where this
# host runs 32-bit Wine (natively or through qemu-user), else win64.
zarl_product_preset() {
    case "${1:-}" in
    win32 | win64) echo "$1" ;;
    "")
        if bash "$ZARL_CMAKE_DIR/i386-host.sh" probe >/dev/null 2>&1; then
            echo win32
        else
            echo win64
        fi
        ;;
    esac
}

# zarl_product_built PRESET FILE...: true when every file is there, else says
# how to build them.
zarl_product_built() {
    local preset=$1 file
    shift
    for file in "$@"; do
        if [ ! -f "$file" ]; then
            echo "$file is missing: run cmake --preset $preset && cmake --build --preset $preset" >&2
            return 1
        fi
    done
}

# zarl_product_label PRESET: the build and how it runs here, for the figures,
# which under emulation must say so.
zarl_product_label() {
    local how=64-bit
    if [ "$1" = win32 ]; then
        how=$(bash "$ZARL_CMAKE_DIR/i386-host.sh" probe || true)
        [ "$how" = qemu ] && how="32-bit, UNDER EMULATION (qemu-user $(qemu-i386 --version |
            sed -n '1s/.*version \([^ ]*\).*/\1/p'))"
    fi
    echo "$1 ($how), $(nproc) cores, $(/usr/lib/wine/wine64 --version 2>/dev/null || echo wine)"
}

# zarl_product_session PRESET PREFIX COMMAND...: runs COMMAND in place of the
# caller, in a Wine session of its own (wine server, and Xvfb without DISPLAY)
# that ends with it; the 32-bit build isolated, so that every process of the
# run ends with it, also when it is interrupted.
zarl_product_session() {
    local preset=$1 prefix=$2
    shift 2
    local wrap=()
    [ "$preset" = win32 ] && wrap=(bash "$ZARL_CMAKE_DIR/i386-host.sh" run --isolated)
    exec "${wrap[@]}" bash "$ZARL_CMAKE_DIR/wine-session.sh" with "$preset" "$prefix" "$@"
}
