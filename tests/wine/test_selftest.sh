#!/usr/bin/env bash
# The self-test program that ships (selftest/), run against this host as a
# player runs it: in a console (a tmux pane), with the bench's X display for the
# "Error" boxes. The runner decides every check; this script reads its closing
# line and its JUnit report. SELFTEST_ARGS adds arguments (--long);
# SELFTEST_KEEP=DIR keeps its output and report there.
set -u
. "$(dirname "$0")/lib.sh"
plan 3
wine_bench_start
at_exit wine_bench_stop

dir=$(new_run_dir -)
mkdir "$dir/selftest"
cp "$BUILD_DIR/selftest/"*.exe "$BUILD_DIR/selftest/"*.dll "$dir/selftest/"
HOST_PROGRAM="wine selftest/UmberdeepSafeMode-selftest.exe >selftest.out" \
    run_host "$dir" 600 ${SELFTEST_ARGS:-} --junit junit.xml UmberdeepSafeMode.exe
sed 's/\r$//' "$dir/selftest.out" 2>/dev/null
[ -n "${SELFTEST_KEEP:-}" ] && cp "$dir/junit.xml" "$dir/selftest.out" "$SELFTEST_KEEP/"

closing=$(sed 's/\r$//' "$dir/selftest.out" 2>/dev/null | grep -E '^[0-9]+ passed, [0-9]+ failed' | tail -n 1)
check "the self-test ends with status 0" 0 "$HOST_STATUS"
if [[ "$closing" =~ ^([0-9]+)\ passed,\ 0\ failed ]] && [ "${BASH_REMATCH[1]}" -gt 0 ]; then
    pass "the self-test's closing line: $closing"
else
    fail "the self-test's closing line" "<$closing>"
fi
# The JUnit report counts what the closing line counts.
junit=$(python3 -c 'import sys, xml.etree.ElementTree as E
s = E.parse(sys.argv[1]).getroot().find("testsuite")
n, f, k = (int(s.get(a)) for a in ("tests", "failures", "skipped"))
cases = s.findall("testcase")
print(f"{n - f - k} passed, {f} failed" + (f", {k} skipped" if k else ""), len(cases) == n)' "$dir/junit.xml" 2>&1)
check "the JUnit report agrees with the closing line" "$closing True" "$junit"
