#!/usr/bin/env bash
# Keyboard input and the pause on the real host. module_input queues key records
# on CONIN$, polls them back through os_get_input and writes one verdict line per
# group; this script checks them.
set -u
. "$(dirname "$0")/lib.sh"
plan 33
wine_bench_start
at_exit wine_bench_stop

# table NAME KEY: a "cases=N mismatches=0 first=none" line with N > 0.
table() {
    local line cases
    line=$(probe_value "$dir" "$2")
    cases=$(field "$line" cases)
    if [[ "$cases" =~ ^[0-9]+$ ]] && [ "$cases" -gt 0 ] && [ "$(field "$line" mismatches)" = 0 ]; then
        pass "$1 ($cases cases)"
    else
        fail "$1" "<$line>"
    fi
}

# at_least NAME MIN VALUE / at_most NAME MAX VALUE
at_least() {
    if [[ "$3" =~ ^-?[0-9]+$ ]] && [ "$3" -ge "$2" ]; then pass "$1"; else fail "$1" "expected >= $2, got <$3>"; fi
}
at_most() {
    if [[ "$3" =~ ^-?[0-9]+$ ]] && [ "$3" -le "$2" ]; then pass "$1"; else fail "$1" "expected <= $2, got <$3>"; fi
}

dir=$(new_run_dir input)
run_host "$dir" 60 input
check "input: exit status" 0 "$HOST_STATUS"
check "input: module ran to the end" 1 "$(probe_value "$dir" done)"

table "navigation keys: plain, Shift +2000, Ctrl +3000, Shift+Ctrl +2000, Alt 0; lock and enhanced bits ignored" navigation_keys
table "F1-F9: 59-67, Shift and Ctrl ignored, Alt 1059-1067; lock and enhanced bits ignored" function_keys
table "F10-F12: 0 with any modifiers" f10_f12
table "keys outside the table: code 0 and their character" other_keys
table "characters as signed bytes (0xE9 is -23)" characters
table "Ctrl+C: character 3, an ordinary key" ctrl_c
check "Ctrl+C does not end the process" alive "$(probe_value "$dir" after_ctrl_c)"
table "key releases, focus and menu records: 0/0, one per poll" releases_and_other_records

check "empty queue: both outputs overwritten with 0" 0/0 "$(probe_value "$dir" empty_queue)"
check "a press and its release take two calls" "0/97 0/0 0/0" "$(probe_value "$dir" press_release)"
check "a record for three auto-repeats yields one key" "72/0 0/0" "$(probe_value "$dir" repeat_count_3)"
check "a focus record then a key: one call each" "0/0 0/120" "$(probe_value "$dir" focus_then_key)"

at_least "os_pause lasts at least 40 ms by the tick count" 40 "$(probe_value "$dir" pause_shortest_ticks)"
range=$(probe_value "$dir" pause_result_range)
at_least "os_pause returns at least 40" 40 "${range%%..*}"
at_most "os_pause returns at most 5000" 5000 "${range##*..}"
check "os_pause returns no more than the ticks that passed around it" 0 \
    "$(probe_value "$dir" pause_result_above_ticks)"

for round in 0 1 2; do
    line=$(probe_value "$dir" "drain\\[$round\\]")
    check "drain $round: 200 records queued" "200 200" "$(field "$line" queued) $(field "$line" before)"
    at_least "drain $round: the pause's polls took records" 1 "$(field "$line" drained)"
    at_most "drain $round: the pause left records queued" 199 "$(field "$line" drained)"
    check "drain $round: at most one record per poll (1 ms each)" 1 "$(field "$line" within_poll_bound)"
    check "drain $round: the rest come out in order, then nothing" "0 none 0/0" \
        "$(field "$line" out_of_order) $(field "$line" first) $(field "$line" then)"
done
grep '^  ' "$dir/probe.out"
