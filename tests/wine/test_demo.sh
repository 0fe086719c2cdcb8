#!/usr/bin/env bash
# The demo game, played as a player plays it: keys typed into the tmux pane,
# the screen read back from what Wine's console painted there.
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop

# demo_start: a run folder with the host and the demo, started in its own tmux
# window; sets DIR and PANE (the window).
demo_start() {
    DIR=$(new_run_dir demo)
    run_host_start "$DIR" 120
    PANE=$(host_window "$DIR")
}

screen() { tmux -L "$TMUX_SOCKET" capture-pane -p -t "$PANE" 2>/dev/null; }
keys() { tmux -L "$TMUX_SOCKET" send-keys -t "$PANE" "$@"; }

# background_map: the screen with each cell that has a background colour shown
# as D (dark grey, SGR 100), L (light grey, SGR 47) or X (any other), every other
# cell as ".".
background_map() {
    tmux -L "$TMUX_SOCKET" capture-pane -p -e -t "$PANE" 2>/dev/null | awk '
    {
        line = $0; out = ""; bg = "."; n = length(line); i = 1
        while (i <= n) {
            c = substr(line, i, 1)
            if (c == "\033") {
                j = i + 2; params = ""
                while (j <= n && substr(line, j, 1) !~ /[A-Za-z]/) { params = params substr(line, j, 1); j++ }
                if (substr(line, j, 1) == "m") {
                    k = split(params, p, ";")
                    if (k == 0) bg = "."
                    for (q = 1; q <= k; q++) {
                        v = p[q] + 0
                        if (v == 0 || v == 49 || v == 40) bg = "."
                        else if (v == 100) bg = "D"
                        else if (v == 47) bg = "L"
                        else if ((v >= 41 && v <= 46) || (v >= 101 && v <= 107)) bg = "X"
                        else if (v == 48) { bg = "X"; q += (p[q + 1] == 5) ? 2 : 4 }
                        else if (v == 38) { q += (p[q + 1] == 5) ? 2 : 4 }
                    }
                }
                i = j + 1
                continue
            }
            out = out bg
            i++
        }
        print out
    }'
}

# wait_exit: waits for the host to end; sets HOST_STATUS (124: still running).
wait_exit() { run_host_wait "$DIR" "$WAIT_SECONDS"; }

# ------------------------------------------------------------ the title screen
demo_start
if wait_text "Press any key to enter the cave"; then pass "demo: the title screen comes up"
else fail "demo: the title screen comes up" "$(screen | head -n 12)"; fi
check_banner "demo"
row=$(screen | grep -n -m1 'Press any key' | cut -d: -f1)
check "demo: the prompt stands below the banner (row 10)" 10 "$((row - 1))"

keys Space
if wait_text "UMBERDEEP DEMO"; then pass "demo: a key leaves the title screen"
else fail "demo: a key leaves the title screen" "$(screen | head -n 12)"; fi
check "demo: the player starts in the first room" 4,5 "$(wait_player 4,5)"
check "demo: the banner is erased" "cells=0 outside=0 dark_rows=- light_rows=-" "$(banner_report)"
if screen | grep -q 'Press any key'; then fail "demo: the prompt is erased" "still on screen"
else pass "demo: the prompt is erased"; fi
check "demo: the status line before any key" "Last key: code 0 (-), char 0" "$(status_line)"
if screen | grep -qF '#........#' && screen | grep -qF '"""$""'; then pass "demo: the map is drawn"
else fail "demo: the map is drawn" "$(screen | sed -n 3,17p)"; fi

# ------------------------------------------------------------ walking
keys Up
check "demo: Up moves the @ one cell up" 4,4 "$(wait_player 4,4)"
check "demo: Up shows key code 72" "Last key: code 72 (Up), char 0" "$(wait_status "Last key: code 72 (Up), char 0")"
keys Down
check "demo: Down moves it back" 4,5 "$(wait_player 4,5)"
keys Left
check "demo: Left moves the @ one cell left" 3,5 "$(wait_player 3,5)"
keys Left
if wait_text "A wall blocks the way."; then pass "demo: a wall on the left: the player is told"
else fail "demo: a wall on the left: the player is told" "$(screen | sed -n 20,23p)"; fi
check "demo: the wall stops the @" 3,5 "$(player)"
keys Home
wait_status "Last key: code 71 (Home), char 0" >/dev/null
check "demo: Home would step into the wall up and left: the @ stays" 3,5 "$(player)"
keys NPage
check "demo: Page Down steps diagonally down and right" 4,6 "$(wait_player 4,6)"
keys PPage
check "demo: Page Up steps diagonally up and right" 5,5 "$(wait_player 5,5)"
# tmux types End as ESC [4~ (its own terminal's sequence), which Wine's console
# ignores; an xterm types ESC [F, which Wine reads as End.
keys -l $'\e[F'
check "demo: End (ESC [F) steps diagonally down and left" 4,6 "$(wait_player 4,6)"
keys S-Up
check "demo: Shift+Up runs up to the wall" 4,3 "$(wait_player 4,3)"
check "demo: Shift+Up shows key code 2072" "Last key: code 2072 (Shift+Up), char 0" \
    "$(wait_status "Last key: code 2072 (Shift+Up), char 0")"
keys S-Right
check "demo: Shift+Right runs along the room to the wall" 10,3 "$(wait_player 10,3)"
check "demo: the run ends at the wall and stays there" 10,3 "$(sleep 1; player)"

# ------------------------------------------------------------ the key vocabulary
expect_status() {  # NAME EXPECTED: the status line comes to read EXPECTED
    check "demo: $1" "$2" "$(wait_status "$2")"
}
keys F1
expect_status "F1 shows key code 59" "Last key: code 59 (F1), char 0"
keys -l $'\e[1;3P'
expect_status "Alt+F1 (ESC [1;3P) shows key code 1059" "Last key: code 1059 (Alt+F1), char 0"
keys -l $'\e[1;2P'
expect_status "Shift+F1 (ESC [1;2P) shows key code 59" "Last key: code 59 (F1), char 0"
keys -l $'\e[20;3~'
expect_status "Alt+F9 (ESC [20;3~) shows key code 1067" "Last key: code 1067 (Alt+F9), char 0"
keys -l $'\e[1;5A'
expect_status "Ctrl+Up (ESC [1;5A) shows key code 3072" "Last key: code 3072 (Ctrl+Up), char 0"
check "demo: Ctrl+Up does not move the @" 10,3 "$(player)"
keys a
expect_status "a shows character 97" "Last key: code 0 (-), char 97 'a'"
keys z
if wait_text "nothing to zoom"; then pass "demo: z answers that there is nothing to zoom"
else fail "demo: z answers that there is nothing to zoom" "$(screen | sed -n 20,23p)"; fi

# ------------------------------------------------------------ ending
keys q
wait_exit
check "demo: q ends the game with status 0" 0 "$HOST_STATUS"
[ "$HOST_STATUS" = 124 ] && keys C-x

demo_start
wait_text "Press any key to enter the cave" >/dev/null
keys Space
wait_player 4,5 >/dev/null
keys C-x
wait_exit
check "demo: Ctrl+X ends the game with status 0" 0 "$HOST_STATUS"

demo_start
wait_text "Press any key to enter the cave" >/dev/null
keys Space
wait_player 4,5 >/dev/null
keys -l $'\e[1;3S'
wait_exit
check "demo: Alt+F4 (ESC [1;3S) ends the game with status 0" 0 "$HOST_STATUS"
