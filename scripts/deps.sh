#!/usr/bin/env bash
# Installs what building, playing and testing need, when it is missing (Debian,
# as root).
# usage: scripts/deps.sh [build|run|run32|test]
#   build   the cross-compilers, CMake and GoogleTest
#   run     build, and Wine (64-bit only) and tmux: plays the x86_64 host
#   run32   run, and 32-bit Wine: plays the i686 host
#   test    run, the test tools, and 32-bit Wine
#
# The 64-bit packages come first, in an apt-get install of their own; 32-bit
# Wine (and qemu-user where the kernel cannot run 32-bit programs) follows in
# another, so that the 64-bit half never waits on the 32-bit half. A package
# archive in the middle of a sync may fail an index: apt-get update is tried a
# few times, then the install goes on with the indexes apt has. When 32-bit
# Wine cannot be had, this says why in one line, keeps the reason in
# build/deps/i386.why for the i686 host's tests and scripts/run.sh (which then
# skip or refuse with it), and still exits 0: only the 64-bit half is fatal.
# Where wine32:i386 cannot be installed beside the machine's 64-bit libraries,
# a private Debian root with a Wine of both halves is made instead, once, from
# the mirror of the machine's own apt sources (make_wine_root below), and
# later clones and runs reuse it.
# Nothing here downgrades, removes or pins packages, and no apt configuration
# is left behind.
#
# Environment: UMBERDEEP_APT_TRIES (3) and UMBERDEEP_APT_PAUSE (seconds, 20)
# set the update's tries; UMBERDEEP_DEPS_STATE (build/deps) is where the reason
# is kept; UMBERDEEP_WINE_ROOT (/var/cache/umberdeep-safemode/wine-root) where
# the private root is.
set -uo pipefail
need=${1:-test}
cd "$(dirname "$0")/.."
. scripts/lib/wine_loader.sh
state_dir=${UMBERDEEP_DEPS_STATE:-$(pwd)/build/deps}
tries=${UMBERDEEP_APT_TRIES:-3}
pause=${UMBERDEEP_APT_PAUSE:-20}
export DEBIAN_FRONTEND=noninteractive

packages=(cmake make g++ g++-mingw-w64-x86-64 g++-mingw-w64-i686 libgtest-dev llvm)
case $need in
    build) ;;
    run|run32) packages+=(wine wine64 tmux) ;;
    test) packages+=(wine wine64 tmux xvfb xdotool x11-apps imagemagick clang libclang-rt-14-dev lld) ;;
    *) echo "usage: scripts/deps.sh [build|run|run32|test]" >&2; exit 2 ;;
esac
wants_i386=0
[ "$need" = test ] || [ "$need" = run32 ] && wants_i386=1

# missing PACKAGE...: prints those not installed.
missing() {
    local p
    for p in "$@"; do
        [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null)" = "ii " ] || echo "$p"
    done
}

# apt_run ARGS...: apt-get ARGS with its output shown on stderr and kept in
# $apt_out for the reasons below. Another apt at work (a fresh machine's own
# upgrades, say) is waited for.
apt_run() {
    local log status
    log=$(mktemp)
    apt-get -o DPkg::Lock::Timeout=300 "$@" 2>&1 | tee "$log" >&2
    status=${PIPESTATUS[0]}
    apt_out=$(cat "$log")
    rm -f "$log"
    return "$status"
}

# apt_update: apt-get update, tried again while it fails; after the last try
# the install goes on with the indexes apt has, and one line names those that
# failed.
apt_update() {
    local try failed
    for ((try = 1; try <= tries; try++)); do
        apt_run update -q && return 0
        [ "$try" -lt "$tries" ] || break
        echo "deps: apt-get update failed (try $try of $tries); trying again in ${pause}s" >&2
        sleep "$pause"
    done
    failed=$(sed -nE 's/^[EW]: Failed to fetch ([^ ]+) +(.*)$/\1 (\2)/p' <<<"$apt_out" | paste -sd ';' -)
    [ -n "$failed" ] || failed=$(grep -E '^E: ' <<<"$apt_out" | tail -n 1)
    echo "deps: apt-get update failed $tries times, going on with the indexes apt has; failed: $failed" >&2
    return 0
}

# apt_reason: apt's own reason for the last failure, in one line: the first
# unmet dependency of a 32-bit package (else the first of any), and the last
# error.
apt_reason() {
    local unmet error
    unmet=$(grep -m 1 -E '^ +[^ ]+:i386 : (Pre)?Depends: ' <<<"$apt_out")
    [ -n "$unmet" ] || unmet=$(grep -m 1 -E '^ +[^ ]+ : (Pre)?Depends: ' <<<"$apt_out")
    unmet=$(sed -E 's/^ +//; s/ +/ /g' <<<"$unmet")
    error=$(grep -E '^E: ' <<<"$apt_out" | tail -n 1)
    echo "${unmet:+$unmet; }${error:-apt-get ended with an error}"
}

# install PACKAGE...: one apt-get install that may neither remove nor downgrade
# anything (apt-get never downgrades unless told to).
install() {
    apt_run install -y -q --no-remove "$@"
}

updated=0
install_64bit() {
    local want
    mapfile -t want < <(missing "${packages[@]}")
    [ ${#want[@]} -gt 0 ] || return 0
    if [ "$(id -u)" != 0 ]; then
        echo "deps: missing packages; run as root or install: ${want[*]}" >&2
        exit 1
    fi
    echo "deps: installing ${want[*]}" >&2
    apt_update
    updated=1
    if ! install "${want[@]}"; then
        echo "deps: could not install ${want[*]}: $(apt_reason)" >&2
        exit 1
    fi
}

# The i686 host's half: 32-bit Wine from the i386 architecture, which this adds
# only for it, and takes away again when nothing of it could be installed.
i386_why=$state_dir/i386.why
mkdir -p "$state_dir"
give_up_i386() {
    echo "$1" >"$i386_why"
    echo "deps: $1; the i686 host's tests are skipped and it cannot be played here" >&2
}

install_wine32() {
    local added=0 reason
    [ -z "$(missing wine32:i386)" ] && { rm -f "$i386_why"; return 0; }
    if [ -f "$WINE_ROOT/$WINE_ROOT_READY" ]; then
        echo "deps: 32-bit Wine: the private root's ($WINE_ROOT)" >&2
        rm -f "$i386_why"
        return 0
    fi
    if [ "$(id -u)" != 0 ]; then
        give_up_i386 "32-bit Wine (wine32:i386) is not installed; as root: dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386"
        return 1
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
        added=1
        updated=0
    fi
    echo "deps: installing wine32:i386" >&2
    [ "$updated" = 1 ] || apt_update
    if ! install wine32:i386; then
        reason="32-bit Wine (wine32:i386) could not be installed: $(apt_reason)"
        if [ "$added" = 1 ] && [ -z "$(dpkg-query -W -f='${Package}:${Architecture}\n' 2>/dev/null | grep ':i386$')" ]; then
            dpkg --remove-architecture i386
        fi
        echo "deps: $reason" >&2
        make_wine_root "$reason"
        return
    fi
    rm -f "$i386_why"
}

# last_error LOG: the last error line of LOG, else its last line.
last_error() {
    { grep -E '^E: ' "$1" || tail -n 1 "$1"; } 2>/dev/null | tail -n 1
}

# make_wine_root REASON: makes the private root, with debootstrap (the one
# package this puts on the machine for it) from the mirror of the machine's
# apt sources: a minimal Debian bookworm with the i386 architecture and wine,
# wine64 and wine32:i386 from bookworm alone, whose versions agree (the
# security suite, whose i386 half may lag, is left out). About 2 GB in
# $WINE_ROOT, 1-3 minutes; remove that folder to take it away. Made in a folder
# beside it and moved into place once whole, so a run broken off leaves none
# half made. The machine's packages and apt
# configuration stay as they are. Gives up with REASON and its own when it
# cannot be made.
make_wine_root() {
    local uri partial=$WINE_ROOT.partial started=$SECONDS
    uri=$(debian_archive_uri) || { give_up_i386 "$1; and no apt source for bookworm names a mirror to make a private root from"; return 1; }
    if [ -n "$(missing debootstrap)" ] && ! install debootstrap; then
        give_up_i386 "$1; and debootstrap, to make a private root, could not be installed: $(apt_reason)"
        return 1
    fi
    echo "deps: making a private root with 32-bit Wine in $WINE_ROOT from $uri (bookworm; about 2 GB, once)" >&2
    rm -rf "$partial"
    mkdir -p "$(dirname "$WINE_ROOT")"
    if ! debootstrap --arch=amd64 --variant=minbase bookworm "$partial" "$uri" >"$state_dir/root-debootstrap.log" 2>&1; then
        give_up_i386 "$1; and debootstrap could not make a private root: $(last_error "$state_dir/root-debootstrap.log")"
        rm -rf "$partial"
        return 1
    fi
    if ! UMBERDEEP_WINE_ROOT=$partial bash scripts/lib/wine_root.sh native env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            DEBIAN_FRONTEND=noninteractive sh -c 'dpkg --add-architecture i386 && apt-get update -q &&
            apt-get install -y -q --no-install-recommends wine wine64 wine32:i386 && apt-get clean' \
            >"$state_dir/root-install.log" 2>&1; then
        give_up_i386 "$1; and Wine could not be installed in the private root: $(last_error "$state_dir/root-install.log")"
        rm -rf "$partial"
        return 1
    fi
    echo "made by scripts/deps.sh from $uri (bookworm) in $((SECONDS - started)) s" >"$partial/$WINE_ROOT_READY"
    rm -rf "$WINE_ROOT"
    mv "$partial" "$WINE_ROOT"
    rm -f "$i386_why"
    echo "deps: the private root is made ($((SECONDS - started)) s, $(du -sh "$WINE_ROOT" 2>/dev/null | cut -f1))" >&2
}

# On a kernel that refuses 32-bit programs, the i686 host runs under qemu-i386
# (scripts/lib/wine_loader.sh), which must be version 10: bookworm's 7.2 cannot
# start Wine. It comes from bookworm-backports, without the package that would
# register it machine-wide (qemu-user-binfmt). The backports suite is read from
# the same mirror as the machine's bookworm source, through a source list that
# lives only for these two apt-get calls.
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
    local uri parts opts status
    uri=$(debian_archive_uri) || {
        give_up_i386 "this kernel cannot run 32-bit programs, and no apt source for bookworm names the mirror to take qemu-user 10 (bookworm-backports) from"
        return 1
    }
    parts=$(mktemp -d)
    cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$parts/" 2>/dev/null
    printf '%s\n' 'Types: deb' "URIs: $uri" 'Suites: bookworm-backports' 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$parts/umberdeep-backports.sources"
    opts=(-o "Dir::Etc::SourceParts=$parts" -o APT::Get::List-Cleanup=false)
    echo "deps: this kernel cannot run 32-bit programs; installing qemu-user 10 from bookworm-backports ($uri)" >&2
    apt_run "${opts[@]}" update -q
    apt_run "${opts[@]}" install -y -q --no-remove -t bookworm-backports --no-install-recommends qemu-user
    status=$?
    rm -rf "$parts"
    if [ "$status" != 0 ]; then
        give_up_i386 "this kernel cannot run 32-bit programs, and qemu-user 10 could not be installed: $(apt_reason)"
        return 1
    fi
}
needs_qemu_user() {
    i386_wine
    ! i386_try native "$I386_LOADER" --version >/dev/null 2>&1 && ! qemu_i386_ready
}

install_64bit
if [ "$wants_i386" = 1 ] && install_wine32 && needs_qemu_user; then
    install_qemu_user
fi
exit 0
