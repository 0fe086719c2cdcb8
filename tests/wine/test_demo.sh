#!/usr/bin/env bash
# The demo game, keys typed into the tmux pane, the screen read back from it.
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop
# demo_start: the host and the demo in a run folder DIR, started in tmux pane HOST_PANE.
demo_start() { DIR=$(new_run_dir demo); run_host_start "$DIR" 120; }
screen() { bench_tmux capture-pane -p -t "$HOST_PANE" 2>/dev/null; }
keys() { bench_tmux send-keys -t "$HOST_PANE" "$@"; }
# type_keys KEYS: tmux key names, or "-l SEQUENCE", a terminal's own sequence after ESC.
type_keys() { if [[ $1 = "-l "* ]]; then keys -l $'\e'"${1#-l }"; else keys "$1"; fi; }
# background_map: the screen's background colours (contract_lines background_map).
background_map() { bench_tmux capture-pane -p -e -t "$HOST_PANE" 2>/dev/null | "$CONTRACT_LINES" background_map; }
# ------------------------------------------------------------ the title screen
demo_start
see "demo: the title screen comes up" "Press any key to enter the cave"
check_banner "demo"
row=$(screen | grep -n -m1 'Press any key' | cut -d: -f1)
check "demo: the prompt stands below the banner (row $((BANNER_BOTTOM + 2)))" $((BANNER_BOTTOM + 2)) "$((row - 1))"

keys Space
see "demo: a key leaves the title screen" "UMBERDEEP DEMO"
check "demo: the player starts in the first room" 4,5 "$(wait_player 4,5)"
# The console paints what the game drew a little later, not always in order.
prompt_left() { screen | grep 'Press any key'; }
map_missing() { for row in '#........#' '"""$""'; do screen | grep -qF -- "$row" || echo "no <$row>"; done; }
check "demo: the banner is erased" "cells=0 outside=0 dark_rows=- light_rows=-" \
    "$(wait_for banner_report "cells=0 outside=0 dark_rows=- light_rows=-")"
check "demo: the prompt is erased" "" "$(wait_for prompt_left "")"
check "demo: the status line before any key" "Last key: code 0 (-), char 0" "$(wait_status "Last key: code 0 (-), char 0")"
check "demo: the map is drawn" "" "$(wait_for map_missing "")"
# ------------------------------------------------------------ walking and the key vocabulary
# Each line: what is checked, the keys typed (type_keys), then ("-" for none) a
# text that comes on screen, what the status line reads ("key NAME": last_key
# NAME), where the @ stands. Wine ignores tmux's Home and End, not an xterm's.
while IFS='|' read -r -u 3 label typed text status at; do
    type_keys "$typed"
    [ "$text" = - ] || see "demo: $label: \"$text\" shows" "$text"
    [[ $status = "key "* ]] && status=$(last_key "${status#key }")
    [ "$status" = - ] || check "demo: $label: the status line" "$status" "$(wait_status "$status")"
    [ "$at" = - ] || check "demo: $label: the @ stands at $at" "$at" "$(wait_player "$at")"
done 3<<'KEYS'
Up moves the @ one cell up|Up|-|key Up|4,4
Down moves it back|Down|-|-|4,5
Left moves the @ one cell left|Left|-|-|3,5
a wall on the left stops the @, and the player is told|Left|A wall blocks the way.|-|3,5
Home (ESC [H) would step into the wall up and left: the @ stays|-l [H|-|key Home|3,5
Page Down steps diagonally down and right|NPage|-|-|4,6
Page Up steps diagonally up and right|PPage|-|-|5,5
End (ESC [F) steps diagonally down and left|-l [F|-|-|4,6
Shift+Up runs up to the wall|S-Up|-|key Shift+Up|4,3
Shift+Right runs along the room to the wall|S-Right|-|-|10,3
F1|F1|-|key F1|-
Alt+F1 (ESC [1;3P)|-l [1;3P|-|key Alt+F1|-
Shift+F1 (ESC [1;2P)|-l [1;2P|-|key F1|-
Alt+F9 (ESC [20;3~)|-l [20;3~|-|key Alt+F9|-
Ctrl+Up (ESC [1;5A) moves nothing: the run ended at the wall|-l [1;5A|-|key Ctrl+Up|10,3
Ctrl+C reaches the game as character 3|C-c|-|Last key: code 0 (-), char 3|-
a: the game goes on after Ctrl+C|a|-|Last key: code 0 (-), char 97 'a'|-
z answers that there is nothing to zoom|z|nothing to zoom|-|-
KEYS
# Keys typed while the @ runs, a step a frame, are all kept for after the run.
keys S-Left Down Down Down
check "demo: keys typed during a run all arrive: Shift+Left runs to the wall, then three steps down" \
    3,6 "$(wait_player 3,6)"
# ------------------------------------------------------------ ending
# Each line: what ends a new game (one past the title screen) with status 0, and the keys typed.
while IFS='|' read -r -u 3 label typed; do
    [ "$label" = q ] ||
        { demo_start; wait_text "Press any key to enter the cave" && keys Space && wait_player 4,5 >/dev/null; }
    type_keys "$typed"
    run_host_wait "$DIR" "$WAIT_SECONDS"
    check "demo: $label ends the game with status 0" 0 "$HOST_STATUS"
    if [ "$HOST_STATUS" = 124 ]; then keys C-x; fi
done 3<<'ENDS'
q|q
Ctrl+X|C-x
Alt+F4 (ESC [1;3S)|-l [1;3S
ENDS
