#!/usr/bin/env bash
# The game in Wine's console window, keys typed by xdotool as X key events, as
# from a keyboard; the demo read back through screen_watch's copy of the screen,
# the whole key vocabulary through module_input's "typed" scenario.
#   WINDOW_PICTURE_OUT=FILE   keeps a PNG of the demo's window (docs/demo-window.png)
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop

screen() { cat "$DIR/screen.txt" 2>/dev/null; }
background_map() { cat "$DIR/screen.bg" 2>/dev/null; }
# window_start MODULE [ARGS...]: the host and MODULE in a console window under screen_watch.
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
# Each line: what is checked, the keys typed (xdotool's names), then where the @
# stands and what the status line reads ("key NAME": last_key NAME); "-" for none.
while IFS='|' read -r -u 3 label typed at status; do
    [ "$typed" = - ] || window_keys "$typed"
    [[ $status = "key "* ]] && status=$(last_key "${status#key }")
    want="" seen=""
    [ "$at" = - ] || { want=$at; seen=$(wait_player "$at"); }
    [ "$status" = - ] || { want+="${want:+ }$status"; seen+="${seen:+ }$(wait_status "$status")"; }
    check "window demo: $label" "$want" "$seen"
done 3<<KEYS
the player starts in the first room|-|4,5|-
Up steps up, key code ${KEY_CODE[Up]}|Up|4,4|key Up
End steps diagonally down and left|End|3,5|-
Shift+Up runs up to the wall, key code ${KEY_CODE[Shift+Up]}|shift+Up|3,3|key Shift+Up
Shift+Right runs along the room to the wall|shift+Right|10,3|-
Alt+F1 shows key code ${KEY_CODE[Alt+F1]}|alt+F1|-|key Alt+F1
KEYS
if [ -n "${WINDOW_PICTURE_OUT:-}" ]; then
    sleep 0.5  # the window paints what the buffer holds a moment later
    window_picture "$WINDOW_PICTURE_OUT"
fi
window_keys ctrl+c
check "window demo: Ctrl+C reaches the game as character 3" "Last key: code 0 (-), char 3" \
    "$(wait_status "Last key: code 0 (-), char 3")"
window_keys q
run_host_wait "$DIR" "$WAIT_SECONDS"
check "window demo: q ends the game with status 0, after Ctrl+C" 0 "$HOST_STATUS"
# ------------------------------------------------------------ the key vocabulary
# The typed-keys module writes the groups of keys to type to plan.txt, a line
# "HOW<TAB>KEYS": "window" as X events to the window; "slow" a second apart, for
# characters the US keyboard map lacks (xdotool maps each to a spare key code
# meanwhile); "server" through the X server, which keeps Num Lock's state.
verdict_count() { "$CONTRACT_LINES" verdicts "$DIR/probe.out" - | wc -l; }
has_verdicts() { [ "$(verdict_count)" -ge "$1" ]; }
window_start input typed
[ -s "$DIR/plan.txt" ] || fail "window keys: the module's plan" "no plan.txt"
groups=0
while IFS=$'\t' read -r how keys; do
    # shellcheck disable=SC2086
    case $how in
        window) window_keys $keys ;;
        slow) KEY_DELAY=1000 window_keys $keys ;;
        server) server_keys $keys ;;
    esac
    groups=$((groups + 1))
    until_true has_verdicts "$groups" || break
done <"$DIR/plan.txt"
check "window keys: a verdict on each group typed" "$groups" "$(verdict_count)"
module_verdicts "window keys" "$DIR/probe.out"
check "window keys: lone modifier and lock keys report nothing" "" "$(grep '^unlogged' "$DIR/probe.out")"
window_keys ctrl+x
run_host_wait "$DIR" "$WAIT_SECONDS"
check "window keys: Ctrl+X ends the game inside os_get_input with status 0" \
    "typed=ctrl+char:$EXIT_CHARACTER want=0/$EXIT_CHARACTER 0" \
    "$(tail -n 1 "$DIR/probe.out") $HOST_STATUS"

window_start input typed_alone
window_keys alt+F4
run_host_wait "$DIR" "$WAIT_SECONDS"
check "window keys: Alt+F4 ends the game inside os_get_input with status 0" \
    "typed=alt+F4 want=${KEY_CODE[Alt+F4]}/0 0" \
    "$(tail -n 1 "$DIR/probe.out") $HOST_STATUS"
