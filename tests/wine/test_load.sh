#!/usr/bin/env bash
# 10,000 queued key records on the real host: each reported exactly once and in
# order by os_get_input, and with pauses in between exactly the records the
# pauses drained go missing. module_load checks the stream; this script its verdicts.
set -u
. "$(dirname "$0")/lib.sh"
plan 11
wine_bench_start
at_exit wine_bench_stop

dir=$(new_run_dir load)
run_host "$dir" 120 load
check "load: exit status" 0 "$HOST_STATUS"
check "load: module ran to the end" 1 "$(probe_value "$dir" done)"

check "flood: 10000 records queued" "10000 waiting=10000" "$(probe_value "$dir" flood_queued)"
line=$(probe_value "$dir" flood)
check "flood: 10000 polls report every record once, in order" "10000 0 none" \
    "$(field "$line" reported) $(field "$line" wrong) $(field "$line" first)"
check "flood: queue empty afterwards and the next poll reports nothing" "0 0/0" \
    "$(field "$line" left) $(field "$line" then)"

check "flood with pauses: 10000 records queued" 10000 "$(probe_value "$dir" paused_flood_queued)"
line=$(probe_value "$dir" paused_flood)
check "flood with pauses: reported plus drained is every record" 10000 "$(field "$line" sum)"
check "flood with pauses: the records not drained come out in order" "0 none" \
    "$(field "$line" wrong) $(field "$line" first)"
check "flood with pauses: the queue holds what was not yet taken before each pause" 0 \
    "$(field "$line" count_mismatches)"
check "flood with pauses: queue empty afterwards and the next poll reports nothing" "0 0/0" \
    "$(field "$line" left) $(field "$line" then)"
fewest=$(probe_value "$dir" paused_flood_fewest_drained)
if [[ "$fewest" =~ ^[0-9]+$ ]] && [ "$fewest" -ge 1 ]; then
    pass "flood with pauses: every pause drained records"
else
    fail "flood with pauses: every pause drained records" "fewest <$fewest>"
fi
grep '^  ' "$dir/probe.out"
