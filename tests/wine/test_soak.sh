#!/usr/bin/env bash
# One long run on the real host: 100,000 cell writes and 10,000 polls. The
# module reads its own handle count and memory before, halfway and after; this
# script checks that neither grows beyond a small tolerance.
set -u
. "$(dirname "$0")/lib.sh"
plan 9
wine_bench_start
at_exit wine_bench_stop

# no_growth NAME BEFORE AFTER TOLERANCE
no_growth() {
    if [[ "$2" =~ ^[0-9]+$ ]] && [[ "$3" =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ] && [ "$3" -le $(($2 + $4)) ]; then
        pass "$1"
    else
        fail "$1" "before <$2>, after <$3>, tolerance $4"
    fi
}

dir=$(new_run_dir soak)
run_host "$dir" 300 soak
check "soak: exit status" 0 "$HOST_STATUS"
check "soak: module ran to the end" 1 "$(probe_value "$dir" done)"
check "soak: every write succeeded" 100000 "$(probe_value "$dir" writes_ok)"
check "soak: every queued key was reported" 200 "$(probe_value "$dir" keys_seen)"
check "soak: the buffer holds the last write of every cell" mismatches=0 "$(probe_value "$dir" final_screen)"
before=$(probe_value "$dir" before)
middle=$(probe_value "$dir" middle)
after=$(probe_value "$dir" after)
no_growth "soak: handle count does not grow" "$(field "$before" handles)" "$(field "$after" handles)" 2
no_growth "soak: handle count flat over the second half" "$(field "$middle" handles)" "$(field "$after" handles)" 0
# 256 KiB over 110,000 calls: a leak of 3 bytes a call would show.
no_growth "soak: private memory does not grow" "$(field "$before" private)" "$(field "$after" private)" 262144
no_growth "soak: private memory flat over the second half" "$(field "$middle" private)" "$(field "$after" private)" 131072
grep '^  ' "$dir/probe.out"
