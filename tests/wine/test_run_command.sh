#!/usr/bin/env bash
# The README's run command, scripts/run.sh: in a terminal it plays the demo and
# gives the terminal back as it found it; with --window it plays in Wine's
# console window; without a terminal it says so and starts the game in a tmux
# session instead of failing obscurely. It plays the demo with the
# x86_64 host, and the i686 demo given with --module with the i686 host.
set -u
. "$(dirname "$0")/lib.sh"
# One check more where the i686 host runs under emulation; where it cannot run
# at all, two checks of the refusal stand for the eight of playing it.
i386_support
case $I386_RUN in
    native) plan 27 ;;
    emulated) plan 28 ;;
    none) plan 21 ;;
esac
wine_bench_start
at_exit 'tmux_private kill-server >/dev/null 2>&1; wine_bench_stop'

RUN_COMMAND=$WINE_TESTS_ROOT/scripts/run.sh
WORK=$(mktemp -d "$BENCH_DIR/run-command.XXXXXX")
export UMBERDEEP_WINEPREFIX=$WINEPREFIX

# A tmux of its own for the no-terminal case, which uses tmux's default socket.
tmux_private() { TMUX_TMPDIR=$WORK tmux "$@"; }

# ------------------------------------------------------------ in a terminal
# play_in_terminal LABEL [RUN ARGS...]: runs the command in a tmux pane (its
# standard input and output; only standard error goes to a file), starts the
# game with a key and ends it with q. start_in_terminal [RUN ARGS...] only
# starts the command there.
start_in_terminal() {
    rm -f "$WORK/status" "$WORK/stderr"
    cat >"$WORK/in-terminal.sh" <<SCRIPT
stty -g >$(printf '%q' "$WORK/modes-before")
bash $(printf '%q' "$RUN_COMMAND")$(printf ' %q' "$@") 2>$(printf '%q' "$WORK/stderr")
echo \$? >$(printf '%q' "$WORK/status.tmp")
stty -g >$(printf '%q' "$WORK/modes-after")
mv $(printf '%q' "$WORK/status.tmp") $(printf '%q' "$WORK/status")
sleep 60
SCRIPT
    tmux -L "$TMUX_SOCKET" -f /dev/null new-session -d -s run-command -x 80 -y 25 "bash $WORK/in-terminal.sh"
}
# wait_status: waits for the command started by start_in_terminal to end.
wait_status() {
    local i
    for i in $(seq 900); do [ -f "$WORK/status" ] && break; sleep 0.2; done
}
play_in_terminal() {
    local label=$1
    shift
    start_in_terminal "$@"
    if wait_text "Press any key to enter the cave"; then pass "$label: the demo comes up in the terminal"
    else fail "$label: the demo comes up in the terminal" "$(pane | head -n 12; tail -n 5 "$WORK/stderr")"; fi
    tmux -L "$TMUX_SOCKET" send-keys -t run-command Space
    if wait_text "Last key:"; then pass "$label: a key starts the game"
    else fail "$label: a key starts the game" "$(pane | tail -n 6)"; fi
    tmux -L "$TMUX_SOCKET" send-keys -t run-command q
    wait_status
    check "$label: q ends it with status 0" 0 "$(cat "$WORK/status" 2>/dev/null)"
    check "$label: it says how the game ended" "run: the game ended with status 0" \
        "$(grep -m1 'the game ended' "$WORK/stderr")"
    check "$label: the terminal's modes are as before" "$(cat "$WORK/modes-before")" \
        "$(cat "$WORK/modes-after" 2>/dev/null)"
    tmux -L "$TMUX_SOCKET" kill-session -t run-command >/dev/null 2>&1
}
# pane: the screen of tmux session $SESSION; wait_text PATTERN waits until a
# line of it matches (grep -E).
SESSION=run-command
pane() { tmux -L "$TMUX_SOCKET" capture-pane -p -t "$SESSION" 2>/dev/null; }
wait_text() {
    local i
    for i in $(seq 900); do pane | grep -qE -- "$1" && return 0; sleep 0.2; done
    return 1
}

play_in_terminal "run command"
# A 32-bit game module loads only in the i686 host, which runs under emulation
# where the kernel cannot run 32-bit programs itself; the build tree's own demo
# stays as it was.
i686_demo=$BUILD_ROOT/windows-x86/Umberdeep.dll
demo_sum=$(md5sum <"$i686_demo")
if [ "$I386_RUN" = none ]; then
    # Where 32-bit Wine could not be had, the command says why in one line.
    start_in_terminal --module "$i686_demo"
    wait_status
    tmux -L "$TMUX_SOCKET" kill-session -t run-command >/dev/null 2>&1
    check "run command --module (i686 demo) without 32-bit Wine: status 1" 1 "$(cat "$WORK/status" 2>/dev/null)"
    i386_support    # the reason as the command's own install left it
    check "run command --module (i686 demo) without 32-bit Wine: its last line says why" \
        "run: the i686 host cannot run here: $I386_WHY" "$(tail -n 1 "$WORK/stderr")"
else
    play_in_terminal "run command --module (i686 demo)" --module "$i686_demo"
fi
if [ "$I386_RUN" = emulated ]; then
    check "run command --module: it says the i686 host runs under qemu-i386" 1 \
        "$(grep -c 'running the i686 host under qemu-i386' "$WORK/stderr")"
fi
check "run command --module: the build tree's modules untouched" "$demo_sum" "$(md5sum <"$i686_demo")"

bash "$RUN_COMMAND" --module "$WINE_TESTS_ROOT/README.md" </dev/null >"$WORK/notdll.out" 2>"$WORK/notdll.err"
check "run command --module with a file that is no DLL: status 1" 1 "$?"
check "run command --module with a file that is no DLL: it says so" \
    "run: $WINE_TESTS_ROOT/README.md is not a 32- or 64-bit x86 Windows DLL, so no host can load it as a game module" \
    "$(cat "$WORK/notdll.err")"

# ------------------------------------------------------------ from a cmd prompt
# The game started from a prompt that goes on afterwards: once q ends it, what
# is typed at the prompt shows on the player's buffer, below the prompt line,
# not inside the cave.
SESSION=prompt
prompt_dir=$(new_run_dir demo)
tmux -L "$TMUX_SOCKET" -f /dev/null new-session -d -s "$SESSION" -x 80 -y 25 \
    "cd $(printf '%q' "$prompt_dir") && wine cmd; sleep 60"
wait_text '>$'
tmux -L "$TMUX_SOCKET" send-keys -t "$SESSION" "UmberdeepSafeMode.exe" Enter
wait_text "Press any key to enter the cave" && tmux -L "$TMUX_SOCKET" send-keys -t "$SESSION" Space
wait_text "Last key:" && tmux -L "$TMUX_SOCKET" send-keys -t "$SESSION" q
sleep 2
tmux -L "$TMUX_SOCKET" send-keys -t "$SESSION" "echo back" Enter
wait_text '^back$'
check "from a cmd prompt: after q, cmd's output stands on a line of its own below its prompt" \
    "1 1 0" "$(pane | grep -cE '>echo back$') $(pane | grep -cx back) $(pane | grep -cF '??')"
tmux -L "$TMUX_SOCKET" kill-session -t "$SESSION" >/dev/null 2>&1

# ------------------------------------------------------------ in a console window
# play_in_window LABEL [RUN ARGS...]: runs the command with --window on the
# bench's display, with no terminal (as a file manager starts it); once the
# window has its title, a key starts the game and q ends it.
play_in_window() {
    local label=$1
    shift
    rm -f "$WORK/rc"
    (bash "$RUN_COMMAND" --window "$@" </dev/null >/dev/null 2>"$WORK/window.err"
     echo $? >"$WORK/rc") &
    if WAIT_SECONDS=180 wait_window; then pass "$label: the game opens a console window"
    else fail "$label: the game opens a console window" "$(tail -n 5 "$WORK/window.err")"; fi
    window_keys space q
    run_host_wait "$WORK" 60
    check "$label: q ends it with status 0" 0 "$HOST_STATUS"
    check "$label: it says how the game ended" "run: the game ended with status 0" \
        "$(grep -m1 'the game ended' "$WORK/window.err")"
}
play_in_window "run command --window"
[ "$I386_RUN" = none ] || play_in_window "run command --window --module (i686 demo)" --module "$i686_demo"

env -u DISPLAY bash "$RUN_COMMAND" --window </dev/null >"$WORK/nodisplay.out" 2>"$WORK/nodisplay.err"
check "run command --window without a display: status 1" 1 "$?"
check "run command --window without a display: it says so in one line" \
    "run: --window needs a desktop (DISPLAY is not set); in a terminal, play without it: bash scripts/run.sh" \
    "$(cat "$WORK/nodisplay.err")"

# ------------------------------------------------------------ without a terminal
UMBERDEEP_NO_TMUX=1 bash "$RUN_COMMAND" </dev/null >"$WORK/plain.out" 2>"$WORK/plain.err"
check "no terminal, no tmux: status 1" 1 "$?"
if grep -q "needs a terminal" "$WORK/plain.err"; then pass "no terminal, no tmux: it says it needs a terminal"
else fail "no terminal, no tmux: it says it needs a terminal" "$(cat "$WORK/plain.err")"; fi

TMUX_TMPDIR=$WORK UMBERDEEP_TMUX_SESSION=umberdeep-test bash "$RUN_COMMAND" </dev/null >"$WORK/tmux.out" 2>"$WORK/tmux.err"
check "no terminal: status 0 once the game runs in tmux" 0 "$?"
check "no terminal: it says how to attach" "run: started it in tmux session 'umberdeep-test'; attach with: tmux attach -t umberdeep-test" \
    "$(grep -m1 'attach' "$WORK/tmux.err")"
found=0
for i in $(seq 900); do
    tmux_private capture-pane -p -t umberdeep-test 2>/dev/null | grep -qF "Press any key" && { found=1; break; }
    sleep 0.2
done
check "no terminal: the game is playing in that session" 1 "$found"
tmux_private send-keys -t umberdeep-test Space q 2>/dev/null
