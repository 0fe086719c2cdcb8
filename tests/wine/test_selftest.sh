#!/usr/bin/env bash
# test_selftest.sh [--only NAME | --windows-rules]: the self-test that ships
# (selftest/) against this host in a tmux pane, the bench's display showing the
# "Error" boxes: one scenario in 80 x 25 (wine.ARCH.selftest.NAME), else a whole
# run in 100 x 30 (nothing may assume the default size), or under Windows'
# console rules. It checks what only the outside sees: the exit status and
# closing line, the console figure, --help, the banner against
# docs/banner-capture.txt, the boxes' MessageBoxA style in Wine's relay trace.
# BANNER_CAPTURE_OUT=FILE keeps the banner's picture (to refresh the docs copy).
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop
other=$([ "$ARCH" = x64 ] && echo x86 || echo x64)
CONSOLE_SIZE=$([ "${1:-}" = --only ] && echo 80x25 || echo 100x30)
# The relay trace shows only MessageBoxA's calls.
relay_key='HKCU\Software\Wine\Debug'
wine reg add "$relay_key" /v RelayInclude /t REG_SZ /d user32.MessageBoxA /f >/dev/null 2>&1
at_exit "wine reg delete '$relay_key' /v RelayInclude /f >/dev/null 2>&1"
dir=$(new_run_dir -)
mkdir -p "$dir/selftest/$ARCH" "$dir/selftest/$other"
cp "$BUILD_DIR/selftest/"*.exe "$BUILD_DIR/selftest/"*.dll "$dir/selftest/$ARCH/"
cp "$BUILD_ROOT/windows-$other/selftest/selftest-module.dll" "$dir/selftest/$other/" 2>/dev/null
emulated=$([ "$ARCH" = x86 ] && [ "${I386_RUN:-}" = emulated ] && echo UMBERDEEP_SELFTEST_EMULATED_X86=1)
HOST_PROGRAM="env $emulated WINEDEBUG=-all,+relay wine selftest/$ARCH/UmberdeepSafeMode-selftest.exe >selftest.out 2>relay.err" \
    run_host "$dir" 900 "$@" $([ -z "${1:-}" ] && echo --junit report.xml) UmberdeepSafeMode.exe
sed 's/\r$//' "$dir/selftest.out" | grep -v '^  banner row'
closing=$(sed 's/\r$//' "$dir/selftest.out" 2>/dev/null | grep -E '^[0-9]+ passed, [0-9]+ failed' | tail -n 1)
check "the self-test ends with status 0 and its closing line (${closing:-none})" "0 0 failed" \
    "$HOST_STATUS $(echo "$closing" | grep -oE '[0-9]+ failed')"
calls=$(grep -a -o 'Call user32.MessageBoxA([^)]*)' "$dir/relay.err" | sort | uniq -c | sed 's/^ *//')
# A whole run shows the launch faults' boxes; one scenario may show none.
[ -n "$calls" ] || [ -n "${1:-}" ] || calls="no MessageBoxA call"
[ -z "$calls" ] ||
    check "every \"Error\" box is MessageBoxA with style 0x30 (OK, exclamation mark)" \
        "" "$(echo "$calls" | grep -v -E '^$|^[0-9]+ Call user32.MessageBoxA\([0-9a-f]+,[0-9a-f]+ "[^"]*",[0-9a-f]+ "[^"]*",00000030\)$')"
if [ -z "${1:-}" ]; then
    # --junit: one test case for each check the closing line counts, a failure for each failed.
    cases=$(grep -o '<testcase ' "$dir/report.xml" 2>/dev/null | wc -l)
    failures=$(grep -o '<failure ' "$dir/report.xml" 2>/dev/null | wc -l)
    counted=$(($(echo "$closing" | grep -oE '[0-9]+' | paste -sd+ -)))
    check "--junit writes a case for each check counted, a failure for each failed" \
        "$counted $(echo "$closing" | grep -oE '[0-9]+ failed' | grep -oE '[0-9]+')" "$cases $failures"
    check "the console figure names the kind of console it ran in: a terminal" 1 \
        "$(grep -c '^  console: a terminal (the console shows no window), under Wine' "$dir/selftest.out")"
    (cd "$dir" && wine "selftest/$ARCH/UmberdeepSafeMode-selftest.exe" --help >help.out 2>/dev/null)
    check "--help prints the usage and ends with status 0" "0 usage:" "$? $(head -c 6 "$dir/help.out")"
fi
[ "${2:-}" = normal_run ] || exit 0
sed -n 's/\r$//; s/^  banner row [0-9]: //p' "$dir/selftest.out" >"$dir/banner.txt"
[ -n "${BANNER_CAPTURE_OUT:-}" ] && cp "$dir/banner.txt" "$BANNER_CAPTURE_OUT"
check "the banner's rows 0-9 match docs/banner-capture.txt" \
    "$(tail -n 10 "$WINE_TESTS_ROOT/docs/banner-capture.txt")" "$(cat "$dir/banner.txt")"
