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
#   i386_support          sets I386_RUN=native|emulated|none, and I386_WHY
#                         to the reason when none; UMBERDEEP_I386_EMULATE=1
#                         emulates even where the kernel runs them itself
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
I386_WHY_FILE=${UMBERDEEP_DEPS_STATE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/deps}/i386.why

i386_support() {
    local loader32=$WINE_LOADER32
    I386_WHY=
    if [ ! -x "$loader32" ]; then
        I386_RUN=none I386_WHY=$(cat "$I386_WHY_FILE" 2>/dev/null || true)
        [ -n "$I386_WHY" ] || I386_WHY="32-bit Wine (wine32:i386) is not installed"
    elif [ -z "${UMBERDEEP_I386_EMULATE:-}" ] && "$loader32" --version >/dev/null 2>&1; then
        I386_RUN=native
    elif ! version_at_least "$(uname -r | grep -oE '^[0-9]+\.[0-9]+')" 6.7; then
        I386_RUN=none I386_WHY="the kernel ($(uname -r)) cannot run 32-bit programs and is older than 6.7, which emulating them in a private namespace needs"
    elif ! unshare --user --map-root-user --mount true 2>/dev/null; then
        I386_RUN=none I386_WHY="the kernel cannot run 32-bit programs and user namespaces are switched off"
    elif ! qemu_i386_ready; then
        I386_RUN=none I386_WHY="the kernel cannot run 32-bit programs and qemu-i386 10 or later (qemu-user from bookworm-backports) is missing"
    elif ! in_i386_namespace "$loader32" --version >/dev/null 2>&1; then
        I386_RUN=none I386_WHY="the kernel cannot run 32-bit programs, and 32-bit Wine did not start under qemu-i386 in a private namespace"
    else
        I386_RUN=emulated
    fi
    export I386_RUN I386_WHY
}

# wine_prefix_init: sets up $WINEPREFIX, once, with its 32-bit half (syswow64)
# wherever 32-bit programs can run: a prefix made by 64-bit Wine alone has none,
# and the i686 host could not load even kernel32.dll in it. Under emulation the
# set-up runs inside the namespace.
wine_prefix_init() {
    i386_support
    [ -f "$WINEPREFIX/system.reg" ] &&
        { [ "$I386_RUN" = none ] || [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; } &&
        return 0
    local run=()
    [ "$I386_RUN" = emulated ] && run=(in_i386_namespace)
    "${run[@]}" sh -c 'wineboot -u >/dev/null 2>&1; wineserver -w'
}
