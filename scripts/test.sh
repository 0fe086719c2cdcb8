#!/usr/bin/env bash
# Builds everything and runs every test through CTest (tests/CMakeLists.txt):
# the native unit tests (also under AddressSanitizer and
# UndefinedBehaviorSanitizer), the checks of tests/checks/, and the Wine
# end-to-end tests of tests/wine/ for the x86_64 and the i686 host.
# Ends with one line "N passed, N failed", which counts CTest's tests (every
# unit test case, check script, Wine test script and self-test scenario) and
# the machine check below, and ", N skipped" for each test that could not run
# here (its log says why); exits non-zero when anything failed. Logs:
# build/test-logs/ (one a test, ctest.log, junit.xml).
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

# An earlier run's logs would pass for this one's.
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

# Every test of CTest's JUnit report as "run|fail|skip NAME": a test that ended
# with status 77 could not run here and is skipped; one CTest did not run for
# another reason (its fixture failed) has failed. The bench's start and stop
# are no tests of their own, unless they fail.
junit_tests() {
    python3 - "$LOG_DIR/junit.xml" <<'PY'
import sys, xml.etree.ElementTree as E
for case in E.parse(sys.argv[1]).getroot().iter("testcase"):
    status, skipped = case.get("status"), case.find("skipped")
    if status == "notrun":
        reason = skipped.get("message", "") if skipped is not None else ""
        status = "skip" if reason.startswith("SKIP_RETURN_CODE") else "fail"
    if not (status == "run" and case.get("name").startswith("wine.bench.")):
        print(status, case.get("name"))
PY
}

if [ -f "$LOG_DIR/junit.xml" ]; then
    while read -r status name; do
        case $status in
            run) passed=$((passed + 1)) ;;
            skip) skipped=$((skipped + 1))
                  echo "SKIP: $name: $(grep -m1 -h '^SKIP: ' "$LOG_DIR/$name.log" 2>/dev/null | cut -d: -f3- | sed 's/^ *//')" ;;
            *) count_failure "$name (see $LOG_DIR/$name.log)" ;;
        esac
    done < <(junit_tests)
    # Which 32-bit Wine the i686 host's tests ran on, as the bench's fixture found it.
    grep -m 1 -o "32-bit Wine for the i686 host's tests: .*" "$LOG_DIR/ctest.log"
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
