#!/usr/bin/env bash
# Runs a command of the private Debian root that holds a 32-bit Wine, made by
# scripts/deps.sh where the machine's package archive cannot give wine32:i386.
# The command runs chrooted in a mount namespace of its own, with the machine's
# folders that a game or a test needs bound at the same paths: /proc, /dev,
# /sys, /tmp (the X display's socket, the Wine server's, the test benches), the
# home folder, this checkout, the current folder, $WINEPREFIX, and the folders
# in $UMBERDEEP_ROOT_BINDS (separated by colons). Nothing is mounted outside
# that namespace.
#
# usage: scripts/lib/wine_root.sh native|emulated COMMAND [ARGS...]
#   native     the kernel runs 32-bit programs itself
#   emulated   it cannot: i386 programs run under qemu-i386, registered in a
#              binfmt_misc instance of a private user namespace
#              (wine_loader.sh, in_i386_namespace)
# Exits 125 when the root is missing or a folder cannot be bound.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine_loader.sh"
mode=$1
shift
[ -x "$WINE_ROOT/usr/bin/env" ] || { echo "wine root: $WINE_ROOT is not made (scripts/deps.sh test)" >&2; exit 125; }

binds=(/proc /dev /sys /tmp "${HOME:-/root}" "$(dirname "$(dirname "$here")")" "$PWD")
[ -n "${WINEPREFIX:-}" ] && binds+=("$WINEPREFIX")
IFS=: read -r -a extra <<<"${UMBERDEEP_ROOT_BINDS:-}"
binds+=("${extra[@]}")

# The folders to bind, shortest first, each once, none inside another that is
# bound already (its contents come along with that one).
mapfile -t binds < <(printf '%s\n' "${binds[@]}" | grep '^/' | sed -E 's#/+$##; s#^$#/#' | sort -u |
    awk '{ for (i = 1; i <= n; i++) if (index($0 "/", kept[i] "/") == 1) next; kept[++n] = $0; print }')

if [ "$mode" = emulated ]; then namespace=(in_i386_namespace)
elif [ "$(id -u)" = 0 ]; then namespace=(unshare --mount --propagation private)
else namespace=(unshare --user --map-root-user --mount --fork)
fi
# The game's own environment, less what points into the machine's Wine.
unset WINELOADER WINESERVER
"${namespace[@]}" bash -c '
    root=$1 count=$2
    shift 2
    while [ "$count" -gt 0 ]; do
        mkdir -p "$root$1" && mount --rbind "$1" "$root$1" ||
            { echo "wine root: cannot bind $1 into $root" >&2; exit 125; }
        shift
        count=$((count - 1))
    done
    exec chroot "$root" /usr/bin/env -C "$PWD" PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin "$@"
' - "$WINE_ROOT" "${#binds[@]}" "${binds[@]}" "$@"
