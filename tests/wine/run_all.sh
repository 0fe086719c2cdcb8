#!/usr/bin/env bash
# Runs every tests/wine/test_*.sh against the x86_64 and the i686 host, in one
# private Wine prefix, tmux server and X display. Prints PASS:/FAIL: lines.
set -u
cd "$(dirname "$0")"
. ./lib.sh
wine_bench_start
trap wine_bench_stop EXIT
for arch in ${WINE_ARCHES:-x64 x86}; do
    if [ "$arch" = x86 ] && [ "$WINE_RUNS_32BIT" = 0 ]; then
        # Not a result of the host: this kernel cannot execute 32-bit programs
        # at all, so no 32-bit Wine can start here.
        echo "SKIP: [x86] every i686 host test: this machine's kernel cannot run 32-bit programs (no IA32 emulation)"
        continue
    fi
    for test in test_*.sh; do
        [ -n "${WINE_ONLY:-}" ] && [[ "$test" != *"$WINE_ONLY"* ]] && continue
        ARCH=$arch bash "./$test"
        status=$?
        [ "$status" = 0 ] || echo "FAIL: [$arch] $test stopped with status $status"
    done
done
