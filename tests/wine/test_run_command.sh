#!/usr/bin/env bash
# The README's run command, scripts/run.sh: it plays the demo (or a module, in
# the host of its bitness) in a terminal, giving it back as found; in Wine's
# console window with --window; in tmux without a terminal. It says in one line
# what keeps a module from playing, and what a failed launch's status means.
set -u
. "$(dirname "$0")/lib.sh"
i386_support
wine_bench_start
at_exit 'tmux_private kill-server >/dev/null 2>&1; wine_bench_stop'
RUN_COMMAND=$WINE_TESTS_ROOT/scripts/run.sh
WORK=$(mktemp -d "$BENCH_DIR/run-command.XXXXXX")
# A tmux of its own for the no-terminal case, which uses tmux's default socket.
tmux_private() { TMUX_TMPDIR=$WORK tmux "$@"; }
# ------------------------------------------------------------ in a terminal
# start_in_terminal [RUN ARGS...]: the command in tmux session $SESSION of
# TERMINAL_SIZE (80x25 unless set), keeping its standard error, status and the
# terminal's modes before and after.
SESSION=run-command
WAIT_SECONDS=180
screen() { bench_tmux capture-pane -p -t "$SESSION" 2>/dev/null; }
send() { bench_tmux send-keys -t "$SESSION" "$@"; }
ended() { [ -f "$WORK/status" ]; }
run_status() { cat "$WORK/status" 2>/dev/null; }
wait_ended() { until_true ended; bench_tmux kill-session -t "$SESSION" >/dev/null 2>&1; }
start_in_terminal() {
    rm -f "$WORK/status" "$WORK/stderr"
    local w
    w=$(printf '%q' "$WORK")
    new_session "$SESSION" "${TERMINAL_SIZE:-80x25}" "stty -g >$w/modes-before; bash $(printf ' %q' "$RUN_COMMAND" "$@") \
        2>$w/stderr; echo \$? >$w/status.tmp; stty -g >$w/modes-after; mv $w/status.tmp $w/status; sleep 60"
}
# game_ended LABEL STATUS FILE: q ended the game with STATUS 0, and FILE says so.
# play_in_terminal LABEL [RUN ARGS...]: a key starts the game, q ends it.
game_ended() {
    check "$1: q ends it with status 0" 0 "$2"
    check "$1: it says how the game ended" "run: the game ended with status 0" "$(grep -m1 'the game ended' "$3")"
}
play_in_terminal() {
    local label=$1
    shift
    start_in_terminal "$@"
    see "$label: the demo comes up in the terminal" "Press any key to enter the cave"
    send Space
    see "$label: a key starts the game" "Last key:"
    send q
    wait_ended
    game_ended "$label" "$(run_status)" "$WORK/stderr"
    check "$label: the terminal's modes are as before" "$(cat "$WORK/modes-before")" \
        "$(cat "$WORK/modes-after" 2>/dev/null)"
}
play_in_terminal "run command"
check "run command: it plays in the bench's prefix, which WINEPREFIX names" \
    "run: the Wine prefix is $WINEPREFIX (WINEPREFIX)" "$(grep -m1 'the Wine prefix is' "$WORK/stderr")"
small_terminal() { grep -c '^run: this terminal is' "$WORK/stderr"; }
check "run command: a terminal of 80 x 25 gets no warning of its size" 0 "$(small_terminal)"
# A 32-bit game module plays in the i686 host (emulated where the kernel cannot
# run 32-bit programs); the build tree's own demo stays as it was.
i686_demo=$BUILD_ROOT/windows-x86/Umberdeep.dll
demo_sum=$(md5sum <"$i686_demo")
if [ "$I386_RUN" = none ]; then
    start_in_terminal --module "$i686_demo"
    wait_ended
    check "run command --module (i686 demo) without 32-bit Wine: status 1" 1 "$(run_status)"
    i386_support    # the reason as the command's own install left it
    check "run command --module (i686 demo) without 32-bit Wine: its last line says why" \
        "run: the i686 host cannot run here: $I386_WHY" "$(tail -n 1 "$WORK/stderr")"
else
    # After --, --window is the game's argument, not an option.
    play_in_terminal "run command --module (i686 demo) -- --window" --module "$i686_demo" -- --window
fi
check "run command --module: its first line names the module's bitness and host" \
    "run: $i686_demo is a 32-bit game module; it plays in the i686 host" "$(head -n 1 "$WORK/stderr")"
if [ "$I386_RUN" = emulated ]; then
    check "run command --module: it says the i686 host runs under qemu-i386" 1 \
        "$(grep -c 'running the i686 host under qemu-i386' "$WORK/stderr")"
fi
check "run command --module: the build tree's modules untouched" "$demo_sum" "$(md5sum <"$i686_demo")"
# A module that passes every look but does not load (the self-test's, whose
# DllMain refuses in "dllmain_refuses"): the status is explained, as the box
# shows only on a desktop. Its terminal lacks the game's last row.
TERMINAL_SIZE=80x24 start_in_terminal --module "$BUILD_DIR/selftest/selftest-module.dll" dllmain_refuses
box_answered_or_ended() {
    local id
    for id in $(xdotool search --name '^Error$' 2>/dev/null); do
        xdotool windowfocus "$id" key Return >/dev/null 2>&1; done
    ended
}
until_true box_answered_or_ended
wait_ended
check "run command, a module that does not load: status 1, and it says what status 1 means" "1 1" \
    "$(run_status) $(grep -c '^run: status 1 is the game.s own result, or the host could not start it: the module did not load' "$WORK/stderr")"
check "run command in a terminal of 80 x 24: one line says so, naming both sizes" \
    "1 run: this terminal is 80 x 24, smaller than the 80 x 25 the game draws: what lies beyond it will not show; make the terminal larger" \
    "$(small_terminal) $(grep -m1 '^run: this terminal is' "$WORK/stderr")"
# ------------------------------------------------------------ refused at once
# Each line: what the command is given (its arguments after "|"), its status
# without a terminal, how many lines it says, and its last, which says why. The
# modules of tests/modules/run_command need a runtime DLL a bare Windows lacks,
# or one of their own beside them; one is linked as the refusal says, and passes.
stops="neither Windows' own nor beside it, so the host would stop with \"main: LoadLibrary failed\""
dlls=$BUILD_DIR/modules/run-command
libgcc=$BUILD_ROOT/windows-x86/modules/run-command/needs-libgcc/Umberdeep.dll
no_entry=$BUILD_DIR/selftest/selftest-no-entry.dll
while IFS='|' read -r label args status lines line; do
    # shellcheck disable=SC2086
    UMBERDEEP_NO_TMUX=1 bash "$RUN_COMMAND" $args </dev/null >"$WORK/answer.out" 2>"$WORK/answer.err"
    check "run command $label: status $status, and it says why in its last of $lines lines" "$status $lines $line" \
        "$? $(grep -c '^run: ' "$WORK/answer.err") $(tail -n 1 "$WORK/answer.err")"
done <<ANSWERS
--module with no such file|--module $WORK/none.dll|1|1|run: $WORK/none.dll: no such file
--module with a text file|--module $WINE_TESTS_ROOT/README.md|1|1|run: $WINE_TESTS_ROOT/README.md is not a Windows DLL, so no host can load it as a game module
--module with a DLL without dll_main|--module $no_entry|1|1|run: $no_entry exports no dll_main, so the host would stop with "main: GetProcAddress failed"; define int dll_main(int argc, char **argv) with os_services.h included, which exports it
--module with a DLL that needs libgcc_s_dw2-1.dll|--module $libgcc|1|1|run: $libgcc needs libgcc_s_dw2-1.dll, $stops; libgcc_s_dw2-1.dll: link it in with -static-libgcc
--module with a DLL that needs libwinpthread-1.dll|--module $dlls/needs-winpthread/Umberdeep.dll|1|1|run: $dlls/needs-winpthread/Umberdeep.dll needs libwinpthread-1.dll, $stops; libwinpthread-1.dll: link it in with -Wl,-Bstatic -lpthread -Wl,-Bdynamic in place of -lpthread, or, for C++ too, with -static and the host's import library named as a file (libUmberdeepSafeMode.dll.a, not -lUmberdeepSafeMode)
--module with a DLL that needs vcruntime140.dll|--module $dlls/needs-vcruntime/Umberdeep.dll|1|1|run: $dlls/needs-vcruntime/Umberdeep.dll needs vcruntime140.dll, $stops; vcruntime140.dll: put it beside the module
with an unknown option|--window --bogus|2|1|run: unknown option --bogus (arguments for the game go after --); see: bash scripts/run.sh --help
--module with the DLL it needs beside it, no terminal and no tmux|--module $dlls/helper-beside/Umberdeep.dll|1|3|run: open a terminal and run: bash scripts/run.sh
--module with the thread library linked in as its refusal says, no terminal and no tmux|--module $dlls/winpthread-linked-in/Umberdeep.dll|1|3|run: open a terminal and run: bash scripts/run.sh
ANSWERS
check "run command, no terminal and no tmux: it says it needs a terminal" 1 "$(grep -c "needs a terminal" "$WORK/answer.err")"
env -u WINEPREFIX bash "$RUN_COMMAND" --module "$WORK/none.dll" --help </dev/null >"$WORK/help.out" 2>&1
check "run command --help: status 0, and it prints the usage, which names the prefix, without WINEPREFIX its own" \
    "0 usage: bash scripts/run.sh [--window] [--module PATH/TO/Umberdeep.dll] [--] [GAME ARGS...]
  This time that is $WINE_TESTS_ROOT/build/wine-prefix (its own: WINEPREFIX is not set)." \
    "$? $(head -n 1 "$WORK/help.out")
$(tail -n 1 "$WORK/help.out")"
DISPLAY='' UMBERDEEP_NO_TMUX=1 bash "$RUN_COMMAND" --module "$BUILD_ROOT/windows-x86/Umberdeep.dll" --window </dev/null >/dev/null 2>"$WORK/nodisplay.err"
check "run command --window without a display: status 1, and it says so in one line" \
    "1 run: --window needs a desktop (DISPLAY is not set); in a terminal, play without it: bash scripts/run.sh" \
    "$? $(cat "$WORK/nodisplay.err")"
# ------------------------------------------------------------ from a cmd prompt
# Once q ends a game started from cmd, what is typed shows below the prompt line.
SESSION=prompt
prompt_dir=$(new_run_dir demo)
new_session "$SESSION" 80x25 "cd $(printf '%q' "$prompt_dir") && wine cmd; sleep 60"
wait_text '>$'
send "UmberdeepSafeMode.exe" Enter
wait_text "Press any key to enter the cave" && send Space
wait_text "Last key:" && send q
sleep 2
send "echo back" Enter
wait_text '^back$'
check "from a cmd prompt: after q, cmd's output stands on a line of its own below its prompt" \
    "1 1 0" "$(screen | grep -cE '>echo back$') $(screen | grep -cx back) $(screen | grep -cF '??')"
bench_tmux kill-session -t "$SESSION" >/dev/null 2>&1
# ------------------------------------------------------------ in a console window
# play_in_window LABEL [RUN ARGS...]: --window with no terminal, as a file manager starts it.
play_in_window() {
    local label=$1
    shift
    rm -f "$WORK/rc"
    (bash "$RUN_COMMAND" --window "$@" </dev/null >/dev/null 2>"$WORK/window.err"
     echo $? >"$WORK/rc") &
    if wait_window; then pass "$label: the game opens a console window"
    else fail "$label: the game opens a console window" "$(tail -n 5 "$WORK/window.err")"; fi
    window_keys space q
    run_host_wait "$WORK" 60
    game_ended "$label" "$HOST_STATUS" "$WORK/window.err"
}
play_in_window "run command --window"
[ "$I386_RUN" = none ] || play_in_window "run command --window --module (i686 demo)" --module "$i686_demo"
# ------------------------------------------------------------ without a terminal
# The command reports the status of the game in tmux; an 80 x 25 terminal attached gives it all.
(TMUX_TMPDIR=$WORK UMBERDEEP_TMUX_SESSION=umberdeep-test bash "$RUN_COMMAND" </dev/null >"$WORK/tmux.out" 2>"$WORK/tmux.err"
 echo $? >"$WORK/tmux.status") &
screen() { tmux_private capture-pane -p -t umberdeep-test 2>/dev/null; }
see "no terminal: the game is playing in that session" "Press any key"
check "no terminal: it says how to attach" "run: started it in tmux session 'umberdeep-test'; attach with: tmux attach -t umberdeep-test (from a terminal of 80 x 25 or more)" \
    "$(grep -m1 'attach' "$WORK/tmux.err")"
new_session attach 80x25 "env -u TMUX TMUX_TMPDIR=$(printf '%q' "$WORK") tmux attach -t umberdeep-test"
attached_size() {
    [ -n "$(tmux_private list-clients -t umberdeep-test 2>/dev/null)" ] &&
        tmux_private display -p -t umberdeep-test '#{pane_width}x#{pane_height}'
}
check "no terminal: attached from a terminal of 80 x 25, the game's pane is 80 x 25" 80x25 \
    "$(WAIT_SECONDS=10 wait_for attached_size 80x25)"
tmux_private send-keys -t umberdeep-test Space 2>/dev/null
wait_text "Last key:" && tmux_private send-keys -t umberdeep-test q 2>/dev/null
until_true test -f "$WORK/tmux.status"
bench_tmux kill-session -t attach >/dev/null 2>&1
check "no terminal: once q ends the game, the command ends with its status, 0, and says so" \
    "0 run: the game ended with status 0" "$(cat "$WORK/tmux.status" 2>/dev/null) $(grep -m1 'the game ended' "$WORK/tmux.err")"
