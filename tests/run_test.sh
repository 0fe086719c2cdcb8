#!/usr/bin/env bash
# How CTest runs one test script (tests/CMakeLists.txt):
#
#   run_test.sh LOG - SCRIPT [ARGS...]        a check, on its own
#   run_test.sh LOG x64|x86 SCRIPT [ARGS...]  a Wine test against that host, in the bench
#                                   the fixture started (tests/wine/fixture.sh);
#                                   its settings are in $UMBERDEEP_BENCH_ENV
#
# The script's output goes to LOG, then to CTest.
# Written to a file rather than to CTest's pipe, it cannot keep the test open
# after the script has ended: a wineserver started inside lingers a few
# seconds. Where the kernel cannot run 32-bit programs the i686 host's tests
# run in the emulation namespace, with a tmux server of their own
# (in_i386_bench), and where 32-bit programs cannot run at all they are skipped
# with status 77.
set -u
log=$1 arch=$2 script=$3
shift 3
mkdir -p "$(dirname "$log")"
run=()
if [ "$arch" != - ]; then
    if ! . "${UMBERDEEP_BENCH_ENV:-}" 2>/dev/null; then
        echo "FAIL: [$arch] $(basename "$script"): no Wine bench (${UMBERDEEP_BENCH_ENV:-unset})" | tee "$log"
        exit 1
    fi
    export ARCH=$arch
    if [ "$arch" = x86 ]; then
        case $I386_RUN in
            none)
                echo "SKIP: [x86] $(basename "$script"): $I386_WHY" | tee "$log"
                exit 77 ;;
            emulated)
                . "$(dirname "${BASH_SOURCE[0]}")/wine/lib.sh"
                run=(in_i386_bench) ;;
        esac
    fi
fi
"${run[@]}" bash "$script" "$@" </dev/null >"$log" 2>&1
status=$?
cat "$log"
exit "$status"
