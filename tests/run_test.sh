#!/usr/bin/env bash
# How CTest runs one test script (tests/CMakeLists.txt):
#   run_test.sh LOG - SCRIPT [ARGS...]        a check, on its own
#   run_test.sh LOG x64|x86 SCRIPT [ARGS...]  a Wine test against that host, in the bench the
#                                             fixture started ($UMBERDEEP_BENCH_ENV)
# The output goes to LOG, then to CTest: a file, unlike CTest's pipe, cannot
# keep the test open while a wineserver started inside lingers. The i686 host's
# tests run where its Wine is (in_i386_bench), skipped (77) where none can run.
set -u
log=$1 arch=$2 script=$3
shift 3
mkdir -p "$(dirname "$log")"
run=()
if [ "$arch" != - ]; then
    . "${UMBERDEEP_BENCH_ENV:-}" 2>/dev/null ||
        { echo "FAIL: [$arch] $(basename "$script"): no Wine bench (${UMBERDEEP_BENCH_ENV:-unset})" | tee "$log"; exit 1; }
    export ARCH=$arch
    if [ "$arch" = x86 ] && [ "$I386_RUN" = none ]; then
        echo "SKIP: [x86] $(basename "$script"): $I386_WHY" | tee "$log"
        exit 77
    fi
    [ "$arch" = x86 ] && . "$(dirname "$0")/../scripts/lib/wine_bench.sh" && run=(in_i386_bench)
fi
"${run[@]}" bash "$script" "$@" </dev/null >"$log" 2>&1
status=$?
cat "$log"
exit "$status"
