#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests (also under
# AddressSanitizer and UndefinedBehaviorSanitizer), the key-space checks and the
# fuzzer, and the Wine end-to-end tests for the x86_64 and the i686 host.
# Ends with one line "N passed, N failed"; exits non-zero when anything failed.
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
LOG_DIR=$ROOT/build/test-logs
mkdir -p "$LOG_DIR"

scripts/deps.sh test || { echo "0 passed, 1 failed"; exit 1; }

passed=0
failed=0
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

# ctest_counts LOG: adds the counts from a ctest summary line.
ctest_counts() {
    local line total bad
    line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [ -z "$line" ]; then
        count_failure "no test summary in $1"
        return
    fi
    bad=$(echo "$line" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$line" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

build_preset() {
    if ! scripts/build.sh "$1" >"$LOG_DIR/build-$1.log" 2>&1; then
        tail -n 30 "$LOG_DIR/build-$1.log"
        count_failure "build of $1"
        return 1
    fi
}

for preset in windows-x64 windows-x86; do build_preset "$preset"; done

for preset in native native-sanitize; do
    if build_preset "$preset"; then
        echo "== native unit tests ($preset)"
        ctest --test-dir "build/$preset" -V -j "$(nproc)" >"$LOG_DIR/ctest-$preset.log" 2>&1
        grep -E '(\*\*\*Failed|\*\*\*Exception|\[  FAILED  \])' "$LOG_DIR/ctest-$preset.log" | head -n 40
        # Figures the tests print, such as the key-space counts.
        grep -E '^[0-9]+:   [a-z][a-z -]*: ' "$LOG_DIR/ctest-$preset.log" | sed -E 's/^[0-9]+: //' 
        ctest_counts "$LOG_DIR/ctest-$preset.log"
        tail -n 3 "$LOG_DIR/ctest-$preset.log"
    fi
done

# Further native checks: each prints PASS:/FAIL: lines.
for check in tests/checks/*.sh; do
    [ -e "$check" ] || continue
    echo "== $check"
    bash "$check" >"$LOG_DIR/$(basename "$check").log" 2>&1
    status=$?
    cat "$LOG_DIR/$(basename "$check").log" | grep -E '^(PASS|FAIL|  )' 
    passed=$((passed + $(grep -c '^PASS: ' "$LOG_DIR/$(basename "$check").log")))
    failed=$((failed + $(grep -c '^FAIL: ' "$LOG_DIR/$(basename "$check").log")))
    [ "$status" = 0 ] || count_failure "$check stopped with status $status"
done

echo "== Wine end-to-end tests"
bash tests/wine/run_all.sh >"$LOG_DIR/wine.log" 2>&1
status=$?
grep -E '^(PASS|FAIL|SKIP|  )' "$LOG_DIR/wine.log"
passed=$((passed + $(grep -c '^PASS: ' "$LOG_DIR/wine.log")))
failed=$((failed + $(grep -c '^FAIL: ' "$LOG_DIR/wine.log")))
[ "$status" = 0 ] || count_failure "Wine tests stopped with status $status"

if [ "$(binfmt_state 2>/dev/null)" = "$binfmt_before" ]; then
    passed=$((passed + 1))
    echo "PASS: the machine's binfmt_misc registrations are as before the run"
else
    count_failure "the machine's binfmt_misc registrations changed during the run"
fi

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
