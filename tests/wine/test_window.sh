#!/usr/bin/env bash
# The game in Wine's console window, as a player on a Linux desktop plays it:
# keys typed by xdotool as X key events, so that virtual-key codes, scan codes
# and the Shift, Ctrl, Alt and lock states come as from a keyboard. The demo is
# read back through screen_watch's copy of the screen; the whole key vocabulary
# through module_input's "typed" scenario, which checks every key typed against
# the groups this script types and writes one verdict a group.
#   WINDOW_PICTURE_OUT=FILE   keeps a PNG of the demo's window (docs/demo-window.png)
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop

screen() { cat "$DIR/screen.txt" 2>/dev/null; }
background_map() { cat "$DIR/screen.bg" 2>/dev/null; }

# window_start MODULE [ARGS...]: the host and MODULE (see new_run_dir) in a
# console window, under screen_watch; sets DIR and WINDOW.
window_start() {
    DIR=$(new_run_dir "$1")
    shift
    cp "$BUILD_DIR/modules/screen_watch.exe" "$DIR/"
    run_window_start "$DIR" 120 screen_watch.exe UmberdeepSafeMode.exe "$@"
    wait_window || fail "the console window opens" "no window titled Umberdeep"
}

# ------------------------------------------------------------ the demo
window_start demo
see "window demo: the title screen comes up" "Press any key to enter the cave"
check_banner "window demo"

window_keys space
see "window demo: a key leaves the title screen" "UMBERDEEP DEMO"
check "window demo: the player starts in the first room" 4,5 "$(wait_player 4,5)"
window_keys Up
check "window demo: Up steps up, key code 72" "4,4 Last key: code 72 (Up), char 0" \
    "$(wait_player 4,4) $(wait_status "Last key: code 72 (Up), char 0")"
window_keys End
check "window demo: End steps diagonally down and left" 3,5 "$(wait_player 3,5)"
window_keys shift+Up
check "window demo: Shift+Up runs up to the wall, key code 2072" "3,3 Last key: code 2072 (Shift+Up), char 0" \
    "$(wait_player 3,3) $(wait_status "Last key: code 2072 (Shift+Up), char 0")"
window_keys shift+Right
check "window demo: Shift+Right runs along the room to the wall" 10,3 "$(wait_player 10,3)"
window_keys alt+F1
check "window demo: Alt+F1 shows key code 1059" "Last key: code 1059 (Alt+F1), char 0" \
    "$(wait_status "Last key: code 1059 (Alt+F1), char 0")"
if [ -n "${WINDOW_PICTURE_OUT:-}" ]; then
    sleep 0.5  # the window paints what the buffer holds a moment later
    window_picture "$WINDOW_PICTURE_OUT"
fi
window_keys q
run_host_wait "$DIR" "$WAIT_SECONDS"
check "window demo: q ends the game with status 0" 0 "$HOST_STATUS"

# ------------------------------------------------------------ the key vocabulary
# The typed-keys module (module_input's "typed" scenario) reads the groups of
# keys this script types from expected.txt, one a line, "LABEL<TAB>NAME ...",
# checks each key pressed against them (its name, and the key table's code and
# the record's character from os_get_input) and writes one verdict a group to
# probe.out, "PASS LABEL ..." or "FAIL LABEL: ...", which this script passes on.
expect_group() { local label=$1; shift; printf '%s\t%s\n' "$label" "$*" >>"$DIR/expected.txt"; }
verdict_count() { grep -c -E '^(PASS|FAIL) ' "$DIR/probe.out" 2>/dev/null; }
has_verdicts() { [ "$(verdict_count)" -ge "$1" ]; }
# verdicts N: waits for the module's first N verdicts and passes on those not yet passed on.
VERDICTS_READ=0
verdicts() {
    local line
    until_true has_verdicts "$1" || fail "window keys: the module's verdicts" "$1 groups typed, $(verdict_count) verdicts"
    while IFS= read -r line; do
        case $line in
            "PASS "*) pass "${line#PASS }" ;;
            *) line=${line#FAIL }; fail "${line%%: *}" "${line#*: }" ;;
        esac
    done < <(grep -E '^(PASS|FAIL) ' "$DIR/probe.out" 2>/dev/null | sed -n "$((VERDICTS_READ + 1)),\$p")
    VERDICTS_READ=$1
}

# modifier_variants KEY...: each key plain and with Shift, Ctrl, Shift+Ctrl, Alt
# and Ctrl+Alt, spelt as the module names them; Alt+F4 left out (it ends the game).
modifier_variants() {
    local key mod
    for key in "$@"; do
        for mod in "" shift+ ctrl+ shift+ctrl+ alt+ ctrl+alt+; do
            [[ "$key" = F4 && "$mod" = *alt+ ]] || echo "$mod$key"
        done
    done
}

window_start input typed
table_keys=$(modifier_variants Home Up Prior Left Right End Down Next F1 F2 F3 F4 F5 F6 F7 F8 F9)
high_keys=$(modifier_variants F10 F11 F12)
# shellcheck disable=SC2086
expect_group "window keys: every row of the key table with every modifier" $table_keys
# shellcheck disable=SC2086
expect_group "window keys: F10-F12 with every modifier give 0" $high_keys
expect_group "window keys: é and ü arrive as 0x82 and 0x81 (-126, -127)" char:130 char:129
expect_group "window keys: the keypad with Num Lock on types digits" KP_7 KP_8 KP_9 KP_4 KP_5 KP_6 KP_1 KP_2 KP_3 KP_0
expect_group "window keys: the keypad with Num Lock off gives the navigation codes" \
    Home Up Prior Left char:0 Right End Down Next char:0
# shellcheck disable=SC2086
window_keys $table_keys $high_keys
verdicts 2
# Characters above 127 that the US keyboard map lacks: xdotool maps each to a
# spare key code for the moment, and Wine gives the character in code page 437.
# xdotool takes the mapping back once the key's delay is over; Wine must have
# looked the key up by then, so the delay is long.
KEY_DELAY=1000 window_keys eacute udiaeresis
verdicts 3
# Num Lock is the X server's own state, so it is typed through the server's
# keyboard: the keypad then types digits (key code 0), and with Num Lock off
# the navigation keys' codes; KP_Begin and KP_Insert are outside the table.
keypad="KP_Home KP_Up KP_Prior KP_Left KP_Begin KP_Right KP_End KP_Down KP_Next KP_Insert"
# shellcheck disable=SC2086
server_keys Num_Lock $keypad Num_Lock $keypad
verdicts 5
check "window keys: lone modifier and lock keys report nothing" "" "$(grep '^unlogged' "$DIR/probe.out")"
window_keys ctrl+x
run_host_wait "$DIR" "$WAIT_SECONDS"
check "window keys: Ctrl+X ends the game inside os_get_input with status 0" "typed=ctrl+char:24 want=0/24 0" \
    "$(tail -n 1 "$DIR/probe.out") $HOST_STATUS"

window_start input typed
window_keys alt+F4
run_host_wait "$DIR" "$WAIT_SECONDS"
check "window keys: Alt+F4 ends the game inside os_get_input with status 0" "typed=alt+F4 want=1062/0 0" \
    "$(tail -n 1 "$DIR/probe.out") $HOST_STATUS"
