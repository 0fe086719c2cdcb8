#!/usr/bin/env bash
# The services under hostile arguments on the real host: coordinates far outside
# the buffer, over-wide characters and attributes, null out-pointers, calls
# before os_init, os_init a hundred times and the banner toggled 1,000 times.
# module_hostile compares the whole buffer; this script checks its verdicts, in
# the default 80 x 25 terminal and in a 100 x 30 one.
set -u
. "$(dirname "$0")/lib.sh"
# 24 checks in each terminal size, 5 for the banner toggled.
plan 53
wine_bench_start
at_exit wine_bench_stop

check_hostile() {
    dir=$(new_run_dir hostile)
    run_host "$dir" 60 hostile
    check "hostile: exit status" 0 "$HOST_STATUS"
    check "hostile: module ran to the end" 1 "$(probe_value "$dir" done)"

    check "before os_init: os_put_font returns 0" 0 "$(probe_value "$dir" before_font)"
    check "before os_init: os_put_tile returns 0" 0 "$(probe_value "$dir" before_tile)"
    check "before os_init: writes and banner leave the console alone" mismatches=0 \
        "$(probe_value "$dir" before_screen)"
    check "before os_init: os_get_input reports 0/0 with a key queued" 0/0 "$(probe_value "$dir" before_input)"
    check "before os_init: the queued key is not taken" 1 "$(probe_value "$dir" before_input_left)"
    check "before os_init: os_get_input with null pointers is harmless" survived \
        "$(probe_value "$dir" before_input_nulls)"

    check "coordinates INT_MIN, -65536, -1, 32768, 65535, 65536, 65539, INT_MAX: every write returns 0" \
        "nonzero=0 first=none" "$(probe_value "$dir" out_of_range_results)"
    check "coordinates out of range (and 32767 beyond the buffer): no cell changes" mismatches=0 \
        "$(probe_value "$dir" coordinates_screen)"
    check "characters keep the low byte, attributes the low 16 bits: every write succeeds" 18/18 \
        "$(probe_value "$dir" value_results)"
    check "characters keep the low byte, attributes the low 16 bits: cells" mismatches=0 \
        "$(probe_value "$dir" values_screen)"

    check "os_get_input(NULL, &char): character written, record taken" "113 left=0" "$(probe_value "$dir" null_key)"
    check "os_get_input(&key, NULL): key code written, record taken" "72 left=0" "$(probe_value "$dir" null_char)"
    check "os_get_input(NULL, NULL) with a key queued: record taken" 0 "$(probe_value "$dir" null_both_left)"
    check "os_get_input with one null pointer on an empty queue: the other is 0" 0/0 "$(probe_value "$dir" null_empty)"
    check "after null-pointer polls the next key arrives whole" 1067/0 "$(probe_value "$dir" null_after)"

    check "os_init 100 times: every call sets the title" 100 "$(probe_value "$dir" reinit_results)"
    check "os_init 100 times: the last call made a new buffer active" 1 "$(probe_value "$dir" reinit_distinct_buffers)"
    check "os_init 100 times: os_put_font still succeeds" 1 "$(probe_value "$dir" reinit_font)"
    check "os_init 100 times: the host draws in the active buffer" mismatches=0 \
        "$(probe_value "$dir" reinit_last_screen)"
    check "os_init 100 times: the buffer before it is left alone" mismatches=0 \
        "$(probe_value "$dir" reinit_previous_screen)"
    check "os_init 100 times: output mode 0 on the last buffer" 0 "$(probe_value "$dir" reinit_output_mode)"
    check "os_init 100 times: input still works" 2081/0 "$(probe_value "$dir" reinit_input)"
    echo "  hostile: 32767 (in range, beyond the buffer): $(probe_value "$dir" in_range_32767)"
    echo "  hostile: attribute 0x1234F reads back as $(probe_value "$dir" 'attr_0x1234F_reads_back'), -1 as $(probe_value "$dir" attr_minus1_reads_back)"
}

# The banner's cells are fixed; one terminal size is enough for its 1,000 toggles.
check_banner_toggled() {
    dir=$(new_run_dir hostile)
    run_host "$dir" 150 banner
    check "banner x1000: exit status" 0 "$HOST_STATUS"
    check "banner x1000: module ran to the end" 1 "$(probe_value "$dir" done)"
    cells=$(probe_value "$dir" banner_cells)
    if [[ "$cells" =~ ^[0-9]+$ ]] && [ "$cells" -gt 0 ]; then pass "banner x1000: the banner paints cells"; else fail "banner x1000: the banner paints cells" "<$cells>"; fi
    check "banner x1000: the last showing is the banner over the pattern" mismatches=0 \
        "$(probe_value "$dir" toggle_last_show)"
    check "banner x1000: ends erased, every other cell unchanged" mismatches=0 "$(probe_value "$dir" toggle_end)"
    grep '^  ' "$dir/probe.out"
}

for CONSOLE_SIZE in 80x25 100x30; do
    export CONSOLE_SIZE
    check_hostile
done
CONSOLE_SIZE=80x25 check_banner_toggled
