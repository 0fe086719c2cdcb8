#!/usr/bin/env bash
# scripts/deps.sh against an archive in the middle of a sync, played by
# stand-ins first on PATH: every apt-get update fails on one index, every i386
# install with "held broken packages". Then a private root with 32-bit Wine is
# made instead, once; where debootstrap fails, the i686 tests skip with why.
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ROOT/tests/verdict.sh"
work=$(mktemp -d)
at_exit 'rm -rf "$work"'
mkdir -p "$work/bin"
export STAND_IN_LOG=$work/calls STAND_IN_ARCHES=$work/arches
: >"$STAND_IN_ARCHES"
# The stand-ins, one script under each name, note their calls, unshare's on one line.
cat >"$work/bin/stand-in" <<'EOF'
#!/bin/sh
name=${0##*/}
case $name in dpkg-query) exit 1 ;; id) echo 0; exit 0 ;; esac
echo "$name $*" | tr '\n' ' ' | sed 's/ $//' >>"$STAND_IN_LOG"; echo >>"$STAND_IN_LOG"
case $name:" $* " in
    apt-get:*" update "*) printf '%s\n' "Err:6 http://archive.invalid/debian-security bookworm-security/main i386 Packages" \
        "E: Failed to fetch http://archive.invalid/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" \
        "E: Some index files failed to download. They have been ignored, or old ones used instead."; exit 100 ;;
    apt-get:*":i386 "*) printf '%s\n' "The following packages have unmet dependencies:" \
        " libcurl4:i386 : Depends: libbrotli1:i386 (>= 0.6.0) but it is not going to be installed" \
        "E: Unable to correct problems, you have held broken packages."; exit 100 ;;
    "dpkg: --print-foreign-architectures "*) cat "$STAND_IN_ARCHES" ;;
    "dpkg: --add-architecture "*) echo "$2" >>"$STAND_IN_ARCHES" ;;
    "dpkg: --remove-architecture "*) grep -vx "$2" "$STAND_IN_ARCHES" >"$STAND_IN_ARCHES.new"
        mv "$STAND_IN_ARCHES.new" "$STAND_IN_ARCHES" ;;
    debootstrap:*) [ -n "${STAND_IN_DEBOOTSTRAP_FAILS:-}" ] && { echo "E: Failed getting release file $5/dists/$3/Release"; exit 1; }
        mkdir -p "$4/usr/bin" && ln -sf /usr/bin/env "$4/usr/bin/env" ;;
esac
EOF
chmod +x "$work/bin/stand-in"
for name in apt-get dpkg debootstrap unshare dpkg-query id; do ln -s stand-in "$work/bin/$name"; done
# deps NEED: deps.sh NEED with the stand-ins, its output to $work/NEED.out.
deps() {
    : >"$STAND_IN_LOG"
    PATH="$work/bin:$PATH" UMBERDEEP_APT_PAUSE=0 UMBERDEEP_DEPS_STATE=$work/state UMBERDEEP_WINE_ROOT=$work/root \
        bash "$ROOT/scripts/deps.sh" "$1" >"$work/$1.out" 2>&1
}
# calls: what deps.sh asked of apt-get, dpkg's architectures and debootstrap, in words.
calls() {
    grep -E '^(apt-get|dpkg --(add|remove)-arch|debootstrap)' "$STAND_IN_LOG" |
        sed -E 's/^apt-get .*update.*/update/; s/^apt-get .*install.* (wine32:i386|debootstrap)$/install \1/;
                s/^apt-get .*install .*/install 64-bit/; s/^dpkg --([a-z]+)-architecture (.*)/\1 \2/;
                s/^debootstrap .*/debootstrap/' | paste -sd ' ' -
}
apt_config() { find /etc/apt -type f -exec md5sum {} + 2>/dev/null | sort; }
apt_before=$(apt_config)
root_road="update update update install 64-bit add i386 update update update install wine32:i386 remove i386 install debootstrap debootstrap"

STAND_IN_DEBOOTSTRAP_FAILS=1 deps test
check "test: exits 0 when only 32-bit Wine cannot be had" 0 $?
check "test: the updates tried again, the 64-bit install, then i386 and 32-bit Wine alone, i386 taken away, then a private root" \
    "$root_road" "$(calls)"
first_install=$(grep -m 1 '^apt-get .*install' "$STAND_IN_LOG")
check "test: the 64-bit install asks for nothing 32-bit" "" "$(grep -o '[^ ]*:i386' <<<"$first_install")"
check "test: the 64-bit install has Wine and the test tools" 1 \
    "$([[ " $first_install " = *" wine64 "* && " $first_install " = *" xvfb "* ]] && echo 1)"
check "test: each round of updates ends in one line naming the failed index" 2 \
    "$(grep -c '^deps: apt-get update failed .*binary-i386/Packages.xz (File has unexpected size' "$work/test.out")"
reason=$(grep '^deps: 32-bit Wine' "$work/test.out" | tail -n 1)
check "test: one line says why 32-bit Wine is missing, in apt's and debootstrap's words" 1 \
    "$(grep -c 'libcurl4:i386 : Depends: libbrotli1:i386 .*; E: Unable to correct problems, you have held broken packages.*; and debootstrap could not make a private root: E: Failed getting release file' <<<"$reason")"
check "test: the reason is kept for the i686 tests, and no half-made root is left" "1 " \
    "$(grep -c '^32-bit Wine (wine32:i386) could not be installed: libcurl4:i386' "$work/state/i386.why" 2>/dev/null) $(ls -d "$work"/root* 2>/dev/null)"
check "test: no downgrade, removal or other suite asked of apt-get" "" \
    "$(grep -E '^apt-get .*install' "$STAND_IN_LOG" | grep -vE -- '--no-remove' ; grep -E -- '--allow-downgrades|-t |--target-release' "$STAND_IN_LOG")"
# The reason reaches the i686 host's tests: each ends as skipped (status 77) with it in its log.
why=$(WINE_LOADER32=$work/no-such-loader UMBERDEEP_DEPS_STATE=$work/state UMBERDEEP_WINE_ROOT=$work/root \
      bash -c '. "$1/scripts/lib/wine_loader.sh"; i386_support; echo "$I386_RUN: $I386_WHY"' - "$ROOT")
printf 'export I386_RUN=none I386_WHY=%q\n' "${why#none: }" >"$work/bench.env"
echo 'echo "this test should not have run"' >"$work/test_never.sh"
UMBERDEEP_BENCH_ENV=$work/bench.env bash "$ROOT/tests/run_test.sh" "$work/skip.log" x86 "$work/test_never.sh" >/dev/null
check "an i686 test ends as skipped" 77 $?
check "its log gives the reason deps.sh kept" "SKIP: [x86] test_never.sh: $(cat "$work/state/i386.why")" "$(cat "$work/skip.log")"

deps test
check "test: with debootstrap working, the private root is made" "$root_road" "$(calls)"
mirror=$(sed -nE "s#^debootstrap --arch=amd64 --variant=minbase bookworm $work/root.partial ([^ ]+)\$#\\1#p" "$STAND_IN_LOG")
check "test: debootstrap makes a minimal bookworm beside the root's place, from a mirror of the machine's apt sources" 1 \
    "$(cat /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null | grep -qE "^(URIs: *|deb +(\[[^]]*\] +)?)${mirror:-none}( |\$)" && echo 1)"
check "test: wine, wine64 and wine32:i386 are installed inside the root, in a namespace of its own" 1 \
    "$(grep -c '^unshare --mount .*apt-get install -y -q --no-install-recommends wine wine64 wine32:i386' "$STAND_IN_LOG")"
check "test: the root stands whole in its place, and no reason to skip is left" "ready none" \
    "$([ -f "$work/root/.umberdeep-ready" ] && echo ready) $([ -e "$work/state/i386.why" ] && echo kept || echo none)"
deps test
check "test: a root already made is used again: no debootstrap, no 32-bit install" "update update update install 64-bit" "$(calls)"
check "test: it says which 32-bit Wine the i686 host gets" 1 "$(grep -c "^deps: 32-bit Wine: the private root's ($work/root)" "$work/test.out")"
check "test: the machine's apt configuration is as it was" "$apt_before" "$(apt_config)"

deps run
check "run: exits 0" 0 $?
check "run: nothing 32-bit asked for, no architecture added" "" "$(grep -E 'i386|architecture' "$STAND_IN_LOG" | grep -v print-foreign)"
check "run: its install has Wine but not the test tools" "1 0" \
    "$(grep -c '^apt-get .*install .* wine64' "$STAND_IN_LOG") $(grep -c 'xvfb' "$STAND_IN_LOG")"
