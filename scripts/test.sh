#!/usr/bin/env bash
# Builds everything and runs every test through CTest (tests/CMakeLists.txt):
# the native unit tests (also under AddressSanitizer and
# UndefinedBehaviorSanitizer), the checks of tests/checks/, and the Wine
# end-to-end tests of tests/wine/ for the x86_64 and the i686 host.
# Ends with one line "N passed, N failed", which counts every unit test case
# and every check a script reports (its PASS:/FAIL: lines), and ", N skipped"
# for each test that could not run here (its log says why); exits non-zero
# when anything failed. Logs: build/test-logs/ (one a test, ctest.log, junit.xml).
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
LOG_DIR=$ROOT/build/test-logs
mkdir -p "$LOG_DIR"

scripts/deps.sh test || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
skipped=0
count_failure() {
    failed=$((failed + 1))
    echo "FAIL: $1"
}

# The i686 host's tests may run under qemu-i386 registered in a private
# namespace; the machine's own binfmt_misc must look the same afterwards.
binfmt_state() {
    local entry
    grep -s binfmt_misc /proc/mounts
    for entry in /proc/sys/fs/binfmt_misc/*; do
        [ -r "$entry" ] && [ "${entry##*/}" != register ] && { echo "== $entry"; cat "$entry"; }
    done
}
binfmt_before=$(binfmt_state 2>/dev/null)

for preset in windows-x64 windows-x86 native native-sanitize; do
    if ! scripts/build.sh "$preset" >"$LOG_DIR/build-$preset.log" 2>&1; then
        tail -n 30 "$LOG_DIR/build-$preset.log"
        count_failure "build of $preset"
    fi
done

# Logs of an earlier run would be counted again.
rm -f "$LOG_DIR"/check.*.log "$LOG_DIR"/wine.*.log "$LOG_DIR/junit.xml"
if cmake --preset tests >"$LOG_DIR/configure-tests.log" 2>&1; then
    # While it runs: a line for each script as it ends, and for any unit test
    # case that does not pass.
    ctest --preset all -V -j "$(nproc)" 2>&1 | tee "$LOG_DIR/ctest.log" |
        grep --line-buffered -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ((check|wine)\.|.*\*\*\*)' |
        sed -u -E 's/ \.{3,}/ /'
    ctest_status=${PIPESTATUS[0]}
else
    cat "$LOG_DIR/configure-tests.log"
    count_failure "configuring the tests (cmake --preset tests)"
    ctest_status=0
fi

# Every test of the JUnit report, in order, as STATUS NAME (status run, fail
# or notrun; a unit test's name may hold spaces).
junit_tests() {
    sed -nE 's/^[[:space:]]*<testcase name="([^"]*)".* status="([a-z]*)">?$/\2 \1/p' "$LOG_DIR/junit.xml"
}

unit_passed=0
unit_failed=0
if [ -f "$LOG_DIR/junit.xml" ]; then
    while read -r status name; do
        log=$LOG_DIR/$name.log
        case $name in
            check.*|wine.x64.*|wine.x86.*)
                echo "== $name"
                [ -f "$log" ] || { count_failure "$name: no log (status $status)"; continue; }
                grep -E '^(PASS|FAIL|SKIP|  )' "$log"
                # A script that could not run here (status 77) says why in its
                # SKIP line; one that ran may report skipped cases of its own.
                if [ "$status" = notrun ]; then skipped=$((skipped + 1))
                else skipped=$((skipped + $(grep -c '^SKIP: ' "$log"))); fi
                passed=$((passed + $(grep -c '^PASS: ' "$log")))
                bad=$(grep -c '^FAIL: ' "$log")
                failed=$((failed + bad))
                # A test stopped at its time limit, or without a word.
                [ "$status" = fail ] && [ "$bad" = 0 ] && count_failure "$name stopped without a FAIL line (see $log)"
                ;;
            *)
                case $status in
                    run) [[ $name = wine.bench.* ]] || unit_passed=$((unit_passed + 1)) ;;
                    fail) count_failure "$name"; [[ $name = wine.bench.* ]] || unit_failed=$((unit_failed + 1)) ;;
                    *) echo "SKIP: $name"; skipped=$((skipped + 1)) ;;
                esac
                ;;
        esac
    done < <(junit_tests)
    passed=$((passed + unit_passed))
    echo "== unit tests (native and native-sanitize): $unit_passed passed, $unit_failed failed"
    # Figures the unit tests print, such as the key-space counts.
    awk '/^ +Start +[0-9]+: (native|sanitize)\./ { unit[$2] = 1 }
         /^[0-9]+:   [a-z][a-z -]*: / { n = substr($0, 1, index($0, ":")); if (n in unit) print substr($0, length(n) + 2) }' \
        "$LOG_DIR/ctest.log"
    # CTest's summary: the totals of whole tests, those skipped and those failed.
    sed -n '/tests passed, .* failed out of/,$p' "$LOG_DIR/ctest.log" |
        grep -E '^[0-9]+% tests passed|^The following tests|^[[:space:]]+[0-9]+ - |^Total Test time'
elif [ -f "$LOG_DIR/ctest.log" ]; then
    tail -n 30 "$LOG_DIR/ctest.log"
    count_failure "no JUnit report from ctest"
fi
[ "$ctest_status" = 0 ] || [ "$failed" != 0 ] || count_failure "ctest ended with status $ctest_status"

if [ "$(binfmt_state 2>/dev/null)" = "$binfmt_before" ]; then
    passed=$((passed + 1))
    echo "PASS: the machine's binfmt_misc registrations are as before the run"
else
    count_failure "the machine's binfmt_misc registrations changed during the run"
fi

summary="$passed passed, $failed failed"
[ "$skipped" = 0 ] || summary+=", $skipped skipped"
echo "$summary"
[ "$failed" = 0 ]
