#!/usr/bin/env bash
# The self-test program that ships (selftest/), run against this host as a
# player runs it: in a console (a tmux pane), with the bench's X display for the
# "Error" boxes, once with its long scenarios in an 80 x 25 terminal and once in
# a 100 x 30 one, so that nothing may assume the default size. The self-test
# decides every check; this script prints each of its results from its JUnit
# report as a PASS:/FAIL:/SKIP: line with file and line (scripts/test.sh counts
# them), and checks what only the outside sees: the run's exit status and
# closing line, the banner's picture against docs/banner-capture.txt, and the
# MessageBoxA calls of the "Error" boxes in Wine's relay trace (another process
# cannot tell one icon from another).
# SELFTEST_KEEP=DIR keeps the output and reports there; BANNER_CAPTURE_OUT=FILE
# keeps the banner's picture (to refresh the docs copy).
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop
if [ "$ARCH" = x64 ]; then other=x86; else other=x64; fi
# The relay trace shows only MessageBoxA's calls.
relay_key='HKCU\Software\Wine\Debug'
wine reg add "$relay_key" /v RelayInclude /t REG_SZ /d user32.MessageBoxA /f >/dev/null 2>&1
at_exit "wine reg delete '$relay_key' /v RelayInclude /f >/dev/null 2>&1"

# selftest_run ARGS...: runs the self-test in a terminal of CONSOLE_SIZE and
# turns its report into result lines.
selftest_run() {
    local dir closing
    dir=$(new_run_dir -)
    mkdir -p "$dir/selftest/$ARCH" "$dir/selftest/$other"
    cp "$BUILD_DIR/selftest/"*.exe "$BUILD_DIR/selftest/"*.dll "$dir/selftest/$ARCH/"
    cp "$BUILD_ROOT/windows-$other/selftest/selftest-module.dll" "$dir/selftest/$other/" 2>/dev/null
    HOST_PROGRAM="env WINEDEBUG=-all,+relay wine selftest/$ARCH/UmberdeepSafeMode-selftest.exe >selftest.out 2>relay.err" \
        run_host "$dir" 900 "$@" --junit junit.xml UmberdeepSafeMode.exe
    [ -n "${SELFTEST_KEEP:-}" ] && cp "$dir/junit.xml" "$SELFTEST_KEEP/junit-$CONSOLE_SIZE.xml" &&
        cp "$dir/selftest.out" "$SELFTEST_KEEP/selftest-$CONSOLE_SIZE.out"
    python3 - "$dir/junit.xml" "$(tag)" <<'PY'
import sys, xml.etree.ElementTree as E
for case in E.parse(sys.argv[1]).getroot().iter("testcase"):
    kind = "FAIL" if case.find("failure") is not None else "SKIP" if case.find("skipped") is not None else "PASS"
    print(f"{kind}: {sys.argv[2]} {case.get('name')} ({case.get('file')}:{case.get('line')})")
PY
    sed -n 's/\r$//; /^Figures/,$p' "$dir/selftest.out" | grep -v '^  banner row'
    closing=$(sed 's/\r$//' "$dir/selftest.out" 2>/dev/null | grep -E '^[0-9]+ passed, [0-9]+ failed' | tail -n 1)
    check "the self-test ends with status 0 and its closing line (${closing:-none})" "0 0 failed" \
        "$HOST_STATUS $(echo "$closing" | grep -oE '[0-9]+ failed')"
    calls=$(grep -a -o 'Call user32.MessageBoxA([^)]*)' "$dir/relay.err" | sort | uniq -c | sed 's/^ *//')
    [ -n "$calls" ] || calls="no MessageBoxA call"
    check "every \"Error\" box is MessageBoxA with no owner, caption \"Error\" and style 0x30 (OK, exclamation mark)" \
        "" "$(echo "$calls" | grep -v -E '^[0-9]+ Call user32.MessageBoxA\(0+,[0-9a-f]+ "main: [A-Za-z]+ failed",[0-9a-f]+ "Error",00000030\)$')"
    [ "$CONSOLE_SIZE" = 80x25 ] || return 0
    sed -n 's/\r$//; s/^  banner row [0-9]: //p' "$dir/selftest.out" >"$dir/banner.txt"
    [ -n "${BANNER_CAPTURE_OUT:-}" ] && cp "$dir/banner.txt" "$BANNER_CAPTURE_OUT"
    check "the banner's rows 0-9 match docs/banner-capture.txt" \
        "$(tail -n 10 "$WINE_TESTS_ROOT/docs/banner-capture.txt")" "$(cat "$dir/banner.txt")"
}

CONSOLE_SIZE=80x25 selftest_run --long
CONSOLE_SIZE=100x30 selftest_run
