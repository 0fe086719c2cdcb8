#!/usr/bin/env bash
# The launcher and the console set-up, on the real host.
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
trap wine_bench_stop EXIT

dir=$(new_run_dir foundation)
run_host "$dir" 30 args "two words" "" 'quote"d'
check "arguments: exit status" 0 "$HOST_STATUS"
check "arguments: count" 5 "$(probe_value "$dir" argc)"
case "$(probe_value "$dir" 'argv\[0\]')" in
    *UmberdeepSafeMode.exe*) pass "arguments: program name first" ;;
    *) fail "arguments: program name first" "$(probe_value "$dir" 'argv\[0\]')" ;;
esac
check "arguments: the strings, spaces kept" \
    "<args>|<two words>|<>|<quote\"d>" \
    "$(probe_value "$dir" 'argv\[1\]')|$(probe_value "$dir" 'argv\[2\]')|$(probe_value "$dir" 'argv\[3\]')|$(probe_value "$dir" 'argv\[4\]')"

dir=$(new_run_dir foundation)
run_host "$dir" 30 return7
check "entry result 7 is the exit status" 7 "$HOST_STATUS"

dir=$(new_run_dir foundation)
run_host "$dir" 30 setup
check "set-up: exit status" 0 "$HOST_STATUS"
check "set-up: result is nonzero" 1 "$(probe_value "$dir" init)"
check "set-up: a new buffer is active" 0 "$(probe_value "$dir" active_is_initial)"
check "set-up: title" "<Umberdeep>" "$(probe_value "$dir" title)"
check "set-up: cursor hidden" "0 cursor_size=1" "$(probe_value "$dir" cursor_visible)"
check "set-up: both modes 0" "0 output_mode=0" "$(probe_value "$dir" input_mode)"
