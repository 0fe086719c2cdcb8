#!/usr/bin/env bash
# Installs what building and testing need, when it is missing (Debian, as root).
# usage: scripts/deps.sh [build|run|run32|test]
#   run32: what running the i686 host needs (32-bit Wine) on top of run
set -euo pipefail
need=${1:-test}
cd "$(dirname "$0")/.."

packages=(cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 libgtest-dev llvm)
commands=(cmake make g++ x86_64-w64-mingw32-g++ i686-w64-mingw32-g++ llvm-dlltool)
if [ "$need" != build ]; then
    packages+=(wine wine64 tmux)
    commands+=(wine tmux)
fi
if [ "$need" = test ] || [ "$need" = run32 ]; then
    packages+=(wine32:i386)
fi
if [ "$need" = test ]; then
    packages+=(xvfb xdotool x11-apps imagemagick clang libclang-rt-14-dev lld)
    commands+=(Xvfb xdotool xwd convert clang lld-link)
fi

missing=0
for c in "${commands[@]}"; do command -v "$c" >/dev/null 2>&1 || missing=1; done
[ -f /usr/include/gtest/gtest.h ] || missing=1
if [ "$need" = test ] || [ "$need" = run32 ]; then
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing=1
fi
if [ "$need" = test ]; then
    ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing=1
fi

# On a kernel that refuses 32-bit programs, the i686 host runs under qemu-i386
# (scripts/wine_loader.sh), which must be version 10: bookworm's 7.2 cannot
# start Wine. It comes from bookworm-backports, without the package that would
# register it machine-wide (qemu-user-binfmt).
# The address of the machine's own Debian archive: the URIs of the apt source
# whose suites include bookworm (deb822 .sources first, then one-line lists), so
# that the backports suite comes from the same mirror.
debian_archive_uri() {
    local uri
    uri=$(awk 'BEGIN { RS = ""; FS = "\n" }
        { uris = ""; bookworm = 0
          for (i = 1; i <= NF; i++) {
              if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris); split(uris, u, /[ \t]+/); uris = u[1] }
              if ($i ~ /^Suites:/ && (" " substr($i, 8) " ") ~ /[ \t]bookworm[ \t]/) bookworm = 1
          }
          if (bookworm && uris != "") { print uris; exit } }' /etc/apt/sources.list.d/*.sources 2>/dev/null)
    [ -n "$uri" ] || uri=$(awk '$1 == "deb" { sub(/\[[^]]*\][ \t]*/, ""); if ($3 == "bookworm") { print $2; exit } }' \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null)
    [ -n "$uri" ] && echo "$uri"
}

install_qemu_user() {
    local sources=/etc/apt/sources.list.d/bookworm-backports.sources uri
    if ! apt-cache policy 2>/dev/null | grep -q 'bookworm-backports'; then
        uri=$(debian_archive_uri) || {
            echo "deps: no apt source for bookworm to take the backports suite from" >&2
            return 1
        }
        echo "deps: adding bookworm-backports from $uri for qemu-user 10" >&2
        printf '%s\n' 'Types: deb' "URIs: $uri" 'Suites: bookworm-backports' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$sources"
    fi
    DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q -t bookworm-backports --no-install-recommends qemu-user >&2
}
needs_qemu_user() {
    . scripts/wine_loader.sh
    ! /usr/lib/wine/wine --version >/dev/null 2>&1 && ! qemu_i386_ready
}

if [ "$missing" = 1 ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "deps: missing packages; run as root or install: ${packages[*]}" >&2
        exit 1
    fi
    echo "deps: installing ${packages[*]}" >&2
    if [ "$need" != build ]; then
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >&2
    apt-get install -y -q "${packages[@]}" >&2
fi
if [ "$need" = test ] || [ "$need" = run32 ]; then
    if needs_qemu_user; then install_qemu_user; fi
fi
