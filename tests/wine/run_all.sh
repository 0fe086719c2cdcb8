#!/usr/bin/env bash
# Runs every tests/wine/test_*.sh against the x86_64 and the i686 host, in one
# private Wine prefix and X display. Prints PASS:/FAIL: lines.
#
# Where the kernel cannot run 32-bit programs, the i686 host's tests run under
# qemu-i386 in a private namespace (scripts/wine_loader.sh, lib.sh's
# in_i386_bench).
set -u
cd "$(dirname "$0")"
. ./lib.sh
wine_bench_start
trap wine_bench_stop EXIT

run_tests() {
    local test status
    for test in test_*.sh; do
        [ -n "${WINE_ONLY:-}" ] && [[ "$test" != *"$WINE_ONLY"* ]] && continue
        ARCH=$1 bash "./$test"
        status=$?
        [ "$status" = 0 ] || echo "FAIL: [$1] $test stopped with status $status"
    done
}

# With one architecture named, only run its tests (the namespace calls this).
if [ "${1:-}" = --tests-for ]; then
    run_tests "$2"
    exit 0
fi

for arch in ${WINE_ARCHES:-x64 x86}; do
    if [ "$arch" = x86 ]; then
        i386_support
        case $I386_RUN in
            none)
                echo "SKIP: [x86] every i686 host test: $I386_WHY"
                continue ;;
            emulated)
                echo "== [x86] i686 host under qemu-i386 in a private namespace"
                in_i386_bench bash ./run_all.sh --tests-for x86
                status=$?
                [ "$status" = 0 ] || echo "FAIL: [x86] the namespace stopped with status $status"
                continue ;;
        esac
    fi
    run_tests "$arch"
done
