#!/usr/bin/env bash
# Cell output and the title banner on the real host. module_cells pre-fills the
# active buffer with a known pattern, calls the services and compares every cell
# with what it must hold; this script checks its verdict lines. It runs in the
# default 80 x 25 terminal and in a 100 x 30 one, so that nothing may assume the
# default size.
set -u
. "$(dirname "$0")/lib.sh"
# Each terminal size: 46 checks, and the banner capture in the 80 x 25 one.
plan 93
wine_bench_start
at_exit wine_bench_stop

# positive NAME VALUE: passes when VALUE is a whole number above 0.
positive() {
    if [[ "$2" =~ ^[0-9]+$ ]] && [ "$2" -gt 0 ]; then pass "$1"; else fail "$1" "expected > 0, got <$2>"; fi
}

check_cells() {
    dir=$(new_run_dir cells)
    run_host "$dir" 40 cells
    check "cells: exit status" 0 "$HOST_STATUS"
    check "cells: module ran to the end" 1 "$(probe_value "$dir" done)"

    check "before os_init: os_put_font returns 0" 0 "$(probe_value "$dir" before_init_font)"
    check "before os_init: os_put_tile returns 0" 0 "$(probe_value "$dir" before_init_tile)"
    check "before os_init: writes and banner leave the console alone" mismatches=0 \
        "$(probe_value "$dir" before_init_screen)"

    check "os_init: title set" 1 "$(probe_value "$dir" init)"
    check "private buffer: the terminal's size" "$CONSOLE_SIZE" "$(probe_value "$dir" buffer_size)"

    check "os_put_font(65, 0x0E, 0, 0): yellow A top-left, every other cell kept" \
        "mismatches=0 result=1" "$(probe_value "$dir" font_a)"
    check "os_put_font: middle and bottom-right cells, every other cell kept" \
        "mismatches=0 result=1" "$(probe_value "$dir" font_middle_and_corner)"
    check "os_put_tile(-1): changes nothing" "mismatches=0 result=0" "$(probe_value "$dir" tile_negative)"
    check "os_put_tile(0): writes its text fallback" "mismatches=0 result=1" "$(probe_value "$dir" tile_0)"
    check "os_put_tile(37): writes its text fallback, unread arguments ignored" \
        "mismatches=0 result=1" "$(probe_value "$dir" tile_37)"
    check "os_put_tile(37): same buffer as os_put_font" "mismatches=0 result=1" \
        "$(probe_value "$dir" tile_like_font)"
    check "os_put_tile(37): character 0xE9 kept" "mismatches=0 result=1" \
        "$(probe_value "$dir" tile_like_font_cell)"

    for show in 1 2 -1; do
        seen=$(probe_value "$dir" "banner_show\\[$show\\]")
        positive "banner show=$show: paints cells" "$(field "$seen" cells)"
        positive "banner show=$show: dark grey rows present" "$(field "$seen" dark)"
        positive "banner show=$show: light grey rows present" "$(field "$seen" light)"
        check "banner show=$show: nothing outside rows 1-8, columns 23-55 changes" 0 "$(field "$seen" outside)"
        check "banner show=$show: every painted cell is a space, 0x80 on rows 1-2, 0x70 on rows 3-8" \
            "0 first_bad=none" "$(field "$seen" wrong) first_bad=$(field "$seen" first_bad)"
        [ "$show" = 1 ] || check "banner show=$show: the same cells as show=1" 1 "$(field "$seen" same_cells)"
        check "banner show=$show then erase: painted cells space/0x07, all others as before" \
            mismatches=0 "$(probe_value "$dir" "banner_erase\\[$show\\]")"
    done
    check "banner erase alone: blanks exactly the banner's cells" mismatches=0 \
        "$(probe_value "$dir" banner_erase_only)"
    check "banner shown twice: same picture as once" mismatches=0 "$(probe_value "$dir" banner_show_twice)"

    # BANNER_CAPTURE_OUT=FILE keeps this run's picture (to refresh the docs copy).
    [ -n "${BANNER_CAPTURE_OUT:-}" ] && [ "$CONSOLE_SIZE" = 80x25 ] && cp "$dir/banner.txt" "$BANNER_CAPTURE_OUT"
    capture=$WINE_TESTS_ROOT/docs/banner-capture.txt
    if [ "$CONSOLE_SIZE" != 80x25 ]; then
        :  # the capture is of an 80-column console
    elif [ -f "$capture" ] && [ "$(tail -n 10 "$capture")" = "$(cat "$dir/banner.txt")" ]; then
        pass "banner: rows 0-9 match docs/banner-capture.txt"
    else
        fail "banner: rows 0-9 match docs/banner-capture.txt" "$(tr '\n' '|' <"$dir/banner.txt")"
    fi

    # Writes outside the buffer. The console's own answer is recorded; the host must
    # refuse coordinates beyond 16 bits and never write a cell it was not asked for.
    check "direct writes outside the buffer change no cell" mismatches=0 \
        "$(probe_value "$dir" direct_writes_screen)"
    for x in 32768 -1 65536; do
        check "os_put_font x=$x: returns 0" 0 "$(probe_value "$dir" "font_x\\[$x\\]")"
    done
    for y in "${CONSOLE_SIZE#*x}" 32767 32768 -1 65536; do
        check "os_put_font y=$y: returns 0" 0 "$(probe_value "$dir" "font_y\\[$y\\]")"
    done
    check "os_put_font outside the buffer: no cell changes" mismatches=0 \
        "$(probe_value "$dir" font_out_of_range_screen)"
    grep -E "^(direct_write\\(|font_x\\[(${CONSOLE_SIZE%x*}|32767)\\])" "$dir/probe.out" | sed "s/^/  cells $CONSOLE_SIZE: /"
}

for CONSOLE_SIZE in 80x25 100x30; do
    export CONSOLE_SIZE
    check_cells
done
