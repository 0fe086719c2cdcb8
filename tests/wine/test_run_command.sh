#!/usr/bin/env bash
# The README's run command, scripts/run.sh: in a terminal it plays the demo and
# gives the terminal back as it found it; with --window it plays in Wine's
# console window; without a terminal it says so, starts the game in a tmux
# session instead of failing obscurely, and reports the game's status once it
# ends. It plays the demo with the x86_64 host, and the i686 demo given with
# --module with the i686 host. Its options come in any order before the game's
# arguments; before it starts anything it says in one line what keeps a module
# from playing, and after a failed launch what the status means.
set -u
. "$(dirname "$0")/lib.sh"
i386_support
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

# A module that passes every look but does not load (its DllMain refuses): the
# status is explained, since the host's box shows only on a desktop (here the
# bench's, where it gets a Return), not in the terminal.
start_in_terminal --module "$BUILD_DIR/modules/launch_refuses.dll"
for i in $(seq 900); do
    [ -f "$WORK/status" ] && break
    for id in $(xdotool search --name '^Error$' 2>/dev/null); do
        xdotool windowfocus "$id" key Return >/dev/null 2>&1
    done
    sleep 0.2
done
tmux -L "$TMUX_SOCKET" kill-session -t run-command >/dev/null 2>&1
check "run command, a module that does not load: status 1, and it says what status 1 means" "1 1" \
    "$(cat "$WORK/status" 2>/dev/null) $(grep -c '^run: status 1 is the game.s own result, or the host could not start it: the module did not load' "$WORK/stderr")"

# ------------------------------------------------------------ refused at once
# answer LABEL STATUS LINE [RUN ARGS...]: the command, without a terminal, ends
# with STATUS, and LINE is the last line it writes.
answer() {
    local label=$1 status=$2 line=$3
    shift 3
    UMBERDEEP_NO_TMUX=1 bash "$RUN_COMMAND" "$@" </dev/null >"$WORK/answer.out" 2>"$WORK/answer.err"
    check "run command $label: status $status, and it says why in one line" "$status $line" \
        "$? $(tail -n 1 "$WORK/answer.err")"
}
answer "--module with no such file" 1 "run: $WORK/none.dll: no such file" --module "$WORK/none.dll"
answer "--module with a text file" 1 \
    "run: $WINE_TESTS_ROOT/README.md is not a Windows DLL, so no host can load it as a game module" \
    --module "$WINE_TESTS_ROOT/README.md"
answer "--module with a DLL without dll_main" 1 \
    "run: $BUILD_DIR/modules/launch_no_entry.dll exports no dll_main, so the host would stop with \"main: GetProcAddress failed\"; define int dll_main(int argc, char **argv) with os_services.h included, which exports it" \
    --module "$BUILD_DIR/modules/launch_no_entry.dll"
# The C++ example built 32-bit with g++ and without -static-libgcc needs
# libgcc_s_dw2-1.dll.
needs=$WORK/needs-libgcc
mkdir -p "$needs"
i686-w64-mingw32-g++ -shared -I "$WINE_TESTS_ROOT/console" -o "$needs/Umberdeep.dll" \
    "$WINE_TESTS_ROOT/docs/examples/hello_module.cpp" -L "$BUILD_ROOT/windows-x86" -lUmberdeepSafeMode
answer "--module with a DLL that needs a missing DLL" 1 \
    "run: $needs/Umberdeep.dll needs libgcc_s_dw2-1.dll, neither Windows' own nor beside it, so the host would stop with \"main: LoadLibrary failed\"; put it beside the module, or link the compiler's runtime statically (-static-libgcc -static-libstdc++)" \
    --module "$needs/Umberdeep.dll"
# Wine carries the Visual C++ runtime, a bare Windows does not: a module that
# needs it is refused unless the runtime stands beside it.
vc=$WORK/needs-vcruntime
mkdir -p "$vc"
printf 'LIBRARY vcruntime140.dll\nEXPORTS\n  memset\n' >"$vc/vcruntime.def"
printf '#include <os_services.h>\n#include <string.h>\nint dll_main(int c, char **v) { char b[8]; memset(b, c, sizeof b); (void)v; return b[0]; }\n' \
    >"$vc/module.c"
(cd "$vc" && llvm-dlltool -m i386:x86-64 -d vcruntime.def -l libvcruntime.a &&
    x86_64-w64-mingw32-gcc -shared -fno-builtin -I "$WINE_TESTS_ROOT/console" -o Umberdeep.dll module.c -L . -lvcruntime \
        -L "$BUILD_ROOT/windows-x64" -lUmberdeepSafeMode)
answer "--module with a DLL that needs the Visual C++ runtime" 1 \
    "run: $vc/Umberdeep.dll needs vcruntime140.dll, neither Windows' own nor beside it, so the host would stop with \"main: LoadLibrary failed\"; put it beside the module, or link the compiler's runtime statically (-static-libgcc -static-libstdc++)" \
    --module "$vc/Umberdeep.dll"
# A 64-bit module that needs a DLL of its own finds it beside itself, and gets
# as far as the terminal.
beside=$WORK/helper-beside
mkdir -p "$beside"
printf 'int helper(void) { return 7; }\n' >"$beside/helper.c"
printf '#include <os_services.h>\nint helper(void);\nint dll_main(int c, char **v) { (void)c; (void)v; return helper(); }\n' \
    >"$beside/module.c"
(cd "$beside" && x86_64-w64-mingw32-gcc -shared -o helper.dll helper.c -Wl,--out-implib,libhelper.a &&
    x86_64-w64-mingw32-gcc -shared -I "$WINE_TESTS_ROOT/console" -o Umberdeep.dll module.c -L . -lhelper \
        -L "$BUILD_ROOT/windows-x64" -lUmberdeepSafeMode)
answer "--module with the DLL it needs beside it" 1 "run: open a terminal and run: bash scripts/run.sh" \
    --module "$beside/Umberdeep.dll"
answer "with an unknown option" 2 \
    "run: unknown option --bogus (arguments for the game go after --); see: bash scripts/run.sh --help" \
    --window --bogus
bash "$RUN_COMMAND" --module "$WORK/none.dll" --help </dev/null >"$WORK/help.out" 2>&1
check "run command --help: status 0, and it prints the usage" \
    "0 usage: bash scripts/run.sh [--window] [--module PATH/TO/Umberdeep.dll] [--] [GAME ARGS...]" \
    "$? $(head -n 1 "$WORK/help.out")"

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

env -u DISPLAY bash "$RUN_COMMAND" --module "$i686_demo" --window </dev/null >"$WORK/nodisplay.out" 2>"$WORK/nodisplay.err"
check "run command --window without a display: status 1" 1 "$?"
check "run command --window without a display: it says so in one line" \
    "run: --window needs a desktop (DISPLAY is not set); in a terminal, play without it: bash scripts/run.sh" \
    "$(cat "$WORK/nodisplay.err")"

# ------------------------------------------------------------ without a terminal
UMBERDEEP_NO_TMUX=1 bash "$RUN_COMMAND" </dev/null >"$WORK/plain.out" 2>"$WORK/plain.err"
check "no terminal, no tmux: status 1" 1 "$?"
if grep -q "needs a terminal" "$WORK/plain.err"; then pass "no terminal, no tmux: it says it needs a terminal"
else fail "no terminal, no tmux: it says it needs a terminal" "$(cat "$WORK/plain.err")"; fi

# The command waits for the game in tmux to end and reports its status.
(TMUX_TMPDIR=$WORK UMBERDEEP_TMUX_SESSION=umberdeep-test bash "$RUN_COMMAND" </dev/null >"$WORK/tmux.out" 2>"$WORK/tmux.err"
 echo $? >"$WORK/tmux.status") &
# tmux_wait TEXT: waits until the session shows TEXT; false after 3 minutes.
tmux_wait() {
    local i
    for i in $(seq 900); do
        tmux_private capture-pane -p -t umberdeep-test 2>/dev/null | grep -qF -- "$1" && return 0
        sleep 0.2
    done
    return 1
}
tmux_wait "Press any key"
check "no terminal: the game is playing in that session" 0 "$?"
check "no terminal: it says how to attach" "run: started it in tmux session 'umberdeep-test'; attach with: tmux attach -t umberdeep-test" \
    "$(grep -m1 'attach' "$WORK/tmux.err")"
tmux_private send-keys -t umberdeep-test Space 2>/dev/null
tmux_wait "Last key:" && tmux_private send-keys -t umberdeep-test q 2>/dev/null
for i in $(seq 150); do [ -f "$WORK/tmux.status" ] && break; sleep 0.2; done
check "no terminal: once q ends the game, the command ends with its status, 0, and says so" \
    "0 run: the game ended with status 0" "$(cat "$WORK/tmux.status" 2>/dev/null) $(grep -m1 'the game ended' "$WORK/tmux.err")"
