#!/usr/bin/env bash
# Runs every tests/wine/test_*.sh against the x86_64 and the i686 host, in one
# private Wine prefix, tmux server and X display. Prints PASS:/FAIL: lines.
set -u
cd "$(dirname "$0")"
. ./lib.sh
wine_bench_start
trap wine_bench_stop EXIT
for arch in ${WINE_ARCHES:-x64 x86}; do
    for test in test_*.sh; do
        [ -n "${WINE_ONLY:-}" ] && [[ "$test" != *"$WINE_ONLY"* ]] && continue
        ARCH=$arch bash "./$test"
        status=$?
        [ "$status" = 0 ] || echo "FAIL: [$arch] $test stopped with status $status"
    done
done
