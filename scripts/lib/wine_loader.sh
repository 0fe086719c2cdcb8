# Sourced: picks a Wine loader that this machine can actually execute.
#
# Debian's "wine" command starts the 32-bit loader whenever wine32 is
# installed, and that loader starts 64-bit programs through wine64. A kernel
# built without 32-bit support (no IA32 emulation) refuses the 32-bit loader
# with "Exec format error", which would stop even the x86_64 host. Then
# wine_choose_loader puts a "wine" that goes straight to wine64 first on PATH.
# UMBERDEEP_I386_EMULATE=1 acts as if the kernel refused them (see below).
#
#   wine_choose_loader BIN_DIR   sets WINE_RUNS_32BIT=1 or 0; may export PATH
#                                and WINELOADER

# Wine's 32-bit loader; a check points it elsewhere to play a machine without it.
WINE_LOADER32=${WINE_LOADER32:-/usr/lib/wine/wine}

# The private Debian root with a Wine of both halves that scripts/deps.sh makes
# where the machine's archive cannot give wine32:i386 (scripts/lib/wine_root.sh
# runs its commands). It is whole once the file WINE_ROOT_READY stands in it.
WINE_ROOT=${UMBERDEEP_WINE_ROOT:-/var/cache/umberdeep-safemode/wine-root}
WINE_ROOT_READY=.umberdeep-ready

wine_choose_loader() {
    local bin_dir=$1 loader32=$WINE_LOADER32 loader64=/usr/lib/wine/wine64
    WINE_RUNS_32BIT=1
    if [ -z "${UMBERDEEP_I386_EMULATE:-}" ] && [ -x "$loader32" ] && "$loader32" --version >/dev/null 2>&1; then
        export WINE_RUNS_32BIT
        return 0
    fi
    WINE_RUNS_32BIT=0
    export WINE_RUNS_32BIT
    [ -x "$loader64" ] || return 0
    mkdir -p "$bin_dir"
    local name
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec %s "$@"\n' "$loader64" >"$bin_dir/$name"
        chmod +x "$bin_dir/$name"
    done
    export WINELOADER=$loader64
    case ":$PATH:" in *":$bin_dir:"*) ;; *) export PATH="$bin_dir:$PATH" ;; esac
}

# A kernel without IA32 emulation still runs 32-bit programs through qemu's
# user-mode emulator, registered for i386 programs in a binfmt_misc instance of
# a private user and mount namespace: nothing machine-wide changes. That needs
# kernel 6.7 or later (binfmt_misc per user namespace), user namespaces, and
# qemu-i386 10 or later (older ones ignore Wine's fixed-address mappings).
#
#   i386_support          sets I386_WINE=machine|root|none (whose 32-bit Wine),
#                         I386_RUN=native|emulated|none, and I386_WHY to the
#                         reason when none; UMBERDEEP_I386_EMULATE=1 emulates
#                         even where the kernel runs them itself
#   in_i386_namespace CMD runs CMD where i386 programs are emulated

I386_BINFMT_RULE=':umberdeep-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F'

in_i386_namespace() {
    unshare --user --map-root-user --mount --fork bash -c '
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc &&
        echo "$0" >/proc/sys/fs/binfmt_misc/register || exit 125
        exec "$@"' "$I386_BINFMT_RULE" "$@"
}

# version_at_least HAVE WANT: dotted versions, compared field by field.
version_at_least() {
    [ "$(printf '%s\n%s\n' "$2" "$1" | sort -V | head -n 1)" = "$2" ]
}

# qemu_i386_ready: qemu-i386 is there and new enough to start Wine.
qemu_i386_ready() {
    local version
    version=$(qemu-i386 --version 2>/dev/null | grep -oE '[0-9]+\.[0-9]+\.[0-9]+' | head -n 1)
    [ -n "$version" ] && version_at_least "$version" 10.0
}

# Why scripts/deps.sh could not install 32-bit Wine, when it could not.
I386_WHY_FILE=${UMBERDEEP_DEPS_STATE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/deps}/i386.why
WINE_ROOT_RUNNER=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine_root.sh

# The 32-bit Wine there is: the machine's own (wine32:i386), or else the
# private root's. I386_WINE names it (machine, root or none), I386_LOADER is
# its 32-bit loader (a path inside the root for the root's).
i386_wine() {
    I386_LOADER=/usr/lib/wine/wine
    if [ -x "$WINE_LOADER32" ]; then I386_WINE=machine I386_LOADER=$WINE_LOADER32
    elif [ -f "$WINE_ROOT/$WINE_ROOT_READY" ]; then I386_WINE=root
    else I386_WINE=none
    fi
}

# i386_try native|emulated COMMAND...: runs COMMAND of the 32-bit Wine chosen,
# natively or under qemu-i386.
i386_try() {
    local mode=$1
    shift
    if [ "$I386_WINE" = root ]; then bash "$WINE_ROOT_RUNNER" "$mode" "$@"
    elif [ "$mode" = emulated ]; then in_i386_namespace "$@"
    else "$@"
    fi
}

i386_support() {
    I386_WHY=
    i386_wine
    if [ "$I386_WINE" = none ]; then
        I386_RUN=none I386_WHY=$(cat "$I386_WHY_FILE" 2>/dev/null || true)
        [ -n "$I386_WHY" ] || I386_WHY="32-bit Wine (wine32:i386) is not installed"
    elif [ -z "${UMBERDEEP_I386_EMULATE:-}" ] && i386_try native "$I386_LOADER" --version >/dev/null 2>&1; then
        I386_RUN=native
    elif ! version_at_least "$(uname -r | grep -oE '^[0-9]+\.[0-9]+')" 6.7; then
        I386_RUN=none I386_WHY="the kernel ($(uname -r)) cannot run 32-bit programs and is older than 6.7, which emulating them in a private namespace needs"
    elif ! unshare --user --map-root-user --mount true 2>/dev/null; then
        I386_RUN=none I386_WHY="the kernel cannot run 32-bit programs and user namespaces are switched off"
    elif ! qemu_i386_ready; then
        I386_RUN=none I386_WHY="the kernel cannot run 32-bit programs and qemu-i386 10 or later (qemu-user from bookworm-backports) is missing"
    elif ! i386_try emulated "$I386_LOADER" --version >/dev/null 2>&1; then
        I386_RUN=none I386_WHY="the kernel cannot run 32-bit programs, and 32-bit Wine did not start under qemu-i386 in a private namespace"
    else
        I386_RUN=emulated
    fi
    export I386_RUN I386_WHY I386_WINE
}

# i386_description: which 32-bit Wine the i686 host runs on, in a few words.
i386_description() {
    case $I386_WINE:$I386_RUN in
        *:none) echo "none: $I386_WHY" ;;
        machine:native) echo "the machine's (wine32:i386)" ;;
        machine:emulated) echo "the machine's (wine32:i386), under qemu-i386" ;;
        root:native) echo "the private root's ($WINE_ROOT)" ;;
        root:emulated) echo "the private root's ($WINE_ROOT), under qemu-i386" ;;
    esac
}

# i386_runner: sets I386_RUNNER to the words that run a command where the i686
# host's Wine is: nothing for the machine's own on a kernel that runs it, the
# emulation namespace, or the private root (whose commands come first on PATH
# there, wine, wineboot and wineserver among them).
i386_runner() {
    I386_RUNNER=()
    if [ "$I386_WINE" = root ]; then I386_RUNNER=(bash "$WINE_ROOT_RUNNER" "$I386_RUN")
    elif [ "$I386_RUN" = emulated ]; then I386_RUNNER=(in_i386_namespace)
    fi
}

# wine_root_commands BIN_DIR: writes wine, wineboot and wineserver commands
# into BIN_DIR that run the private root's, for a PATH that plays the i686 host
# with it from outside (a tmux pane of the machine's, say).
wine_root_commands() {
    local name
    mkdir -p "$1"
    for name in wine wine-stable wineboot wineserver; do
        printf '#!/bin/sh\nexec bash %q %q %q "$@"\n' "$WINE_ROOT_RUNNER" "$I386_RUN" "$name" >"$1/$name"
        chmod +x "$1/$name"
    done
}

# wine_prefix_init: sets up $WINEPREFIX, once, with its 32-bit half (syswow64)
# wherever 32-bit programs can run. A prefix made by 64-bit Wine alone has none,
# Wine adds none later (wineboot -u leaves syswow64 empty), and the i686 host
# could not load even kernel32.dll in it: wine_prefix_lacks_i386 tells. The
# set-up runs where the i686 host's Wine is (i386_runner): the private root's
# Wine sets up both halves. The Wine server of each side reaches only that
# side's files, so where the root's Wine is to run in a prefix, the machine's
# server there is waited out first (it ends a few seconds after its last
# program), and the root's after.
wine_prefix_lacks_i386() {
    [ -f "$WINEPREFIX/system.reg" ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}

wine_prefix_init() {
    i386_support
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    i386_runner
    [ "$I386_WINE" = root ] && wineserver -w
    "${I386_RUNNER[@]}" sh -c 'wineboot -u >/dev/null 2>&1; wineserver -w'
}
