#!/usr/bin/env bash
# The kit's back buffer (kit/os_screen.h) through a curses-style game ported
# with it (tests/modules/module_curses.cpp) in a tmux pane: every key arrives,
# each frame shows, each refresh writes only the cells that changed, standard
# output goes onto the game's screen and the score after endwin to the player's
# console. In an 80 x 24 pane the game's last row is lost.
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
at_exit wine_bench_stop

screen() { bench_tmux capture-pane -p -t "$HOST_PANE" 2>/dev/null | sed 's/ *$//'; }
keys() { bench_tmux send-keys -t "$HOST_PANE" "$@"; }
frames() { cat "$DIR/probe.out" 2>/dev/null | grep -c '^frame='; }
has_frames() { [ "$(frames)" -ge "$1" ]; }
# shows_frame: the pane's rows are the first rows of the frame the game published last.
shows_frame() { [ "$(screen)" = "$(head -n "$ROWS" "$DIR/frame.txt")" ]; }
shows_stdout() { screen | head -n 1 | grep -q '^printed to standard output'; }
# play ROWS KEYS...: the game in a pane of 80 x ROWS, kept once it is over; each
# key typed once the frame before it shows, the last a q. Sets DIR; UNSHOWN names
# the frames never shown. leave: the key after "Game over"; sets HOST_STATUS.
play() {
    ROWS=$1
    shift
    DIR=$(new_run_dir curses)
    CONSOLE_SIZE=80x$ROWS run_host_start "$DIR" 120 "rows=$ROWS"
    # Kept as the game leaves it, with no closing line of tmux's to scroll it.
    bench_tmux set-option -w -t "$HOST_PANE" remain-on-exit on \; \
        set-option -w -t "$HOST_PANE" remain-on-exit-format "" >/dev/null
    UNSHOWN=""
    local frame=1 key
    for key in "$@"; do
        until_true has_frames "$frame" && until_true shows_frame || UNSHOWN+=" $frame"
        keys "$key"
        frame=$((frame + 1))
    done
    until_true has_frames "$frame"
}
leave() {
    until_true shows_stdout
    keys Space
    run_host_wait "$DIR" "$WAIT_SECONDS"
}
typed_keys() { sed -n 's/^key=//p' "$DIR/probe.out" | paste -sd ' ' -; }
# Right x3 catches the star at row 12, column 43; Up Left Up Left the one at
# row 10, column 41; x changes nothing; Ctrl+L redraws every cell.
play 25 Right Right Right Up Left Up Left x C-l Down q
check "screen: the pane shows each of the 11 frames the game drew before q" "" "$UNSHOWN"
# Under Wine standard output is the active buffer, the game's: the line lands top left.
check "screen: under Wine, what the game prints to standard output shows on its own screen, top left" \
    "printed to standard output" "$(until_true shows_stdout; screen | head -n 1 | cut -c1-26)"
leave
check "screen: the game ends with status 0" 0 "$HOST_STATUS"
check "screen: every key typed arrives, in order (curses' codes: 261 Right, 259 Up, 260 Left, 258 Down)" \
    "261 261 261 259 260 259 260 120 12 258 113 32" "$(typed_keys)"
module_verdicts "screen" "$DIR/probe.out"
# The player's buffer comes back with the score, without standard output's line.
check "screen: once the game is over the terminal shows the score printed after endwin, and no standard output" \
    "You caught 2 of 4 stars in 8 moves." "$(screen | grep -E 'You caught|standard output')"

play 24 Right q
leave
check "screen 80 x 24: the pane shows the frames' first 24 rows" "" "$UNSHOWN"
module_verdicts "screen 80 x 24" "$DIR/probe.out"
