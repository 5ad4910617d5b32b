#!/usr/bin/env bash
# Runs 32-bit x86 programs (the 32-bit Wine loader, and through it the 32-bit
# ZARL.exe) on this machine: natively where the kernel executes them, else
# through qemu-user, registered in binfmt_misc for the command's own process
# tree only. Kernels from 6.7 on give every user namespace its own
# binfmt_misc, so the registration lives in a namespace that ends with the
# command and the machine is left as it was.
#
#   i386-host.sh probe                        prints native, qemu or none
#   i386-host.sh run [--isolated] COMMAND...  runs COMMAND where 32-bit programs run
#
# --isolated also gives the command a process namespace of its own: every
# process it starts (Xvfb, wine servers, qemu) ends when it ends, and when it
# is killed. Without it, programs started by COMMAND may outlive it (a wine
# server and Wine's services stay for the next test), still able to start
# 32-bit programs.
#
# Exported to COMMAND: ZARL_I386_HOST=native|qemu, so that nested calls and
# cmake/wine-env.sh run the loader directly.
set -euo pipefail

loader=${ZARL_WINE32:-/usr/lib/wine/wine}
qemu=${ZARL_QEMU_I386:-/usr/bin/qemu-i386}
# Debian 12's qemu-user 7.2 fails inside Wine (ld.so assertions, crashes);
# 10.0 from bookworm-backports runs it correctly.
qemu_min_major=10

# 32-bit x86 ELF executables and shared objects, and nothing else: 64-bit
# programs keep running natively. F opens the interpreter now, so that it
# is found whatever file system the namespace later sees.
binfmt_rule=':zarl-qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'

die() {
    echo "i386-host: $*" >&2
    exit 125
}

# Executing the loader is the test itself: the file may exist while the
# kernel refuses it ("Exec format error").
runs_natively() {
    "$loader" --version </dev/null >/dev/null 2>&1
}

qemu_usable() {
    [ -x "$qemu" ] || return 1
    local major
    major=$("$qemu" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
    [ -n "$major" ] && [ "$major" -ge "$qemu_min_major" ]
}

# Inside the new user and mount namespaces, where this process is root:
# mounts the namespace's own binfmt_misc, registers qemu, then runs the
# command as the calling user again.
inside() {
    local uid=$1 gid=$2 isolated=$3
    shift 3
    local binfmt=/proc/sys/fs/binfmt_misc
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null ||
        die "this kernel has no binfmt_misc of a user namespace's own"
    printf '%s%s:F' "$binfmt_rule" "$qemu" >"$binfmt/register" ||
        die "cannot register $qemu in the namespace's binfmt_misc"
    export ZARL_I386_HOST=qemu
    local command=("$@")
    # A further user namespace maps the caller's own ids back, so that files
    # and the wine server's directory belong to the same user as outside.
    if [ "$uid" != 0 ]; then
        command=(unshare --user --map-user="$uid" --map-group="$gid" "$@")
    fi
    if [ "$isolated" = no ]; then
        exec "${command[@]}"
    fi
    # This shell is the namespace's first process: when it ends, the kernel
    # ends every other process in it. As such it ignores signals it has no
    # handler for, so Ctrl+C and TERM get one.
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    local status=0
    "${command[@]}" || status=$?
    exit "$status"
}

run() {
    local isolated=no
    if [ "${1:-}" = --isolated ]; then
        isolated=yes
        shift
    fi
    [ $# -gt 0 ] || die "usage: $0 run [--isolated] COMMAND [ARGS...]"
    if [ -n "${ZARL_I386_HOST:-}" ]; then
        exec "$@"
    fi
    if runs_natively; then
        export ZARL_I386_HOST=native
        exec "$@"
    fi
    qemu_usable || die "32-bit programs cannot run here: the kernel refuses them and" \
        "$qemu (qemu-user $qemu_min_major or later) is missing; run scripts/install-deps.sh"
    local namespaces=(--user --map-root-user --mount)
    if [ "$isolated" = yes ]; then
        # --kill-child: a killed unshare takes the namespace's first process
        # with it, and so every process of the run.
        namespaces+=(--pid --fork --kill-child --mount-proc)
    fi
    exec unshare "${namespaces[@]}" bash "${BASH_SOURCE[0]}" inside \
        "$(id -u)" "$(id -g)" "$isolated" "$@"
}

probe() {
    if runs_natively; then
        echo native
    elif qemu_usable &&
        unshare --user --map-root-user --mount bash "${BASH_SOURCE[0]}" inside 0 0 no \
            "$loader" --version </dev/null >/dev/null 2>&1; then
        echo qemu
    else
        echo none
        return 1
    fi
}

case "${1:-}" in
probe) probe ;;
run)
    shift
    run "$@"
    ;;
inside)
    shift
    inside "$@"
    ;;
*) die "usage: $0 probe | run [--isolated] COMMAND [ARGS...]" ;;
esac
