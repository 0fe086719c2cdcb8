#!/usr/bin/env bash
# The launcher and the console set-up, on the real host.
#
# Sourced with LAUNCH_BOX_HELPERS_ONLY=1 it only defines run_boxed and its
# checks (test_launch_faults.sh uses them) and runs nothing.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# ---------------------------------------------------------------------------
# Runs whose launch fails: the host shows an "Error" box and blocks in it.
#
# run_boxed DIR TIMEOUT RELAY [ARGS...] runs the host in its own tmux pane, with
# WINEDEBUG=trace+msgbox (plus +relay when RELAY is 1, which shows
# MessageBoxA's arguments) and wine's stderr in DIR/wine.err. It dismisses every
# box captioned "Error" that shows up, with Return, until the host has ended,
# and leaves:
#   HOST_STATUS    the exit status (124 on time-out)
#   BOX_COUNT      how many distinct "Error" boxes appeared on the X display
#   BOX_TEXTS      the texts of the boxes Wine built, one per line
#   BOX_CALLS      MessageBoxA's relayed calls (RELAY=1 only), one per line
#   PANE_BEFORE    the pane's title, cursor flag and alternate-screen flag and
#   PANE_AFTER     its text, before the host started and after it ended
# BOX_SCREENSHOT=FILE takes one screenshot of the display while a box shows.
#
# The pane waits for a "go" file before it starts wine and stays open after
# wine has ended, so both states of the terminal are read without a race.

pane_state() {
    tmux -L "$TMUX_SOCKET" display -p -t "$1" 'title=<#{pane_title}> cursor=#{cursor_flag} alternate=#{alternate_on}'
    tmux -L "$TMUX_SOCKET" capture-pane -p -t "$1" | sed -e 's/[[:space:]]*$//' | grep -v '^$'
}

run_boxed() {
    local dir=$1 limit=$2 relay=$3
    shift 3
    local quoted="" a
    for a in "$@"; do quoted+=" $(printf '%q' "$a")"; done
    local channels=trace+msgbox
    [ "$relay" = 1 ] && channels=trace+msgbox,+relay
    rm -f "$dir/rc" "$dir/go" "$dir/wine.err"
    cat >"$dir/run-boxed.sh" <<RUN
cd $(printf '%q' "$dir") || exit 1
while [ ! -f go ]; do sleep 0.05; done
WINEDEBUG=$channels timeout --foreground -k 5 $limit wine UmberdeepSafeMode.exe$quoted 2>wine.err
echo \$? > rc.tmp && mv rc.tmp rc
exec sleep $((limit + 30))
RUN
    local pane
    pane=$(tmux_window "$(basename "$dir")" "bash $dir/run-boxed.sh")
    PANE_BEFORE=$(pane_state "$pane")
    touch "$dir/go"

    # Poll until the host has ended: every new "Error" window counts once and
    # gets a Return; one that is still there a second later gets another.
    local seen=" " id i shot_taken=0
    declare -A last_press=()
    BOX_COUNT=0
    for i in $(seq $(((limit + 10) * 10))); do
        [ -f "$dir/rc" ] && break
        for id in $(xdotool search --name '^Error$' 2>/dev/null); do
            if [[ "$seen" != *" $id "* ]]; then
                seen+="$id "
                BOX_COUNT=$((BOX_COUNT + 1))
                if [ -n "${BOX_SCREENSHOT:-}" ] && [ "$shot_taken" = 0 ]; then
                    sleep 0.5
                    xwd -root -silent | convert xwd:- "$BOX_SCREENSHOT"
                    shot_taken=1
                fi
            fi
            if [ $((i - ${last_press[$id]:--100})) -ge 10 ]; then
                xdotool windowfocus "$id" key Return >/dev/null 2>&1
                last_press[$id]=$i
            fi
        done
        sleep 0.1
    done
    HOST_STATUS=$(cat "$dir/rc" 2>/dev/null || echo 124)
    PANE_AFTER=$(pane_state "$pane")
    tmux -L "$TMUX_SOCKET" kill-pane -t "$pane" >/dev/null 2>&1

    # The relay trace is large; keep only the lines about boxes.
    grep -a -E 'MSGBOX_OnInit|user32\.MessageBox' "$dir/wine.err" >"$dir/wine.box" 2>/dev/null
    rm -f "$dir/wine.err"
    BOX_TEXTS=$(sed -n -E 's/.*MSGBOX_OnInit L"(.*)"$/\1/p' "$dir/wine.box")
    BOX_CALLS=$(grep -a 'Call user32.MessageBoxA(' "$dir/wine.box" | sed -E 's/^.*Call user32\.//; s/ ret=[0-9a-f]+$//')
}

# check_one_box NAME TEXT: exactly one "Error" box showed TEXT, the host ended
# with status 1 after it was dismissed, and the terminal is as it was.
check_one_box() {
    check "$1: one box with caption Error" 1 "$BOX_COUNT"
    check "$1: its text" "$2" "$BOX_TEXTS"
    check "$1: exit status 1 after the box" 1 "$HOST_STATUS"
    check "$1: the console is left as it was" "$PANE_BEFORE" "$PANE_AFTER"
}

# check_box_call NAME TEXT: the relayed MessageBoxA call had no owner, caption
# "Error" and style 0x30 (OK button, exclamation-mark icon).
check_box_call() {
    local call owner style
    call=$(echo "$BOX_CALLS" | head -n 1)
    owner=$(echo "$call" | sed -n -E 's/^MessageBoxA\(([0-9a-f]+),.*/\1/p')
    style=$(echo "$call" | sed -n -E 's/.*,([0-9a-f]+)\)$/\1/p')
    check "$1: one MessageBoxA call" 1 "$(echo "$BOX_CALLS" | grep -c MessageBoxA)"
    check "$1: no owner window" 0 "$((16#${owner:-1}))"
    case "$call" in
        *"\"$2\","*"\"Error\","*) pass "$1: text and caption Error passed to MessageBoxA" ;;
        *) fail "$1: text and caption Error passed to MessageBoxA" "<$call>" ;;
    esac
    check "$1: style 0x30 (OK, exclamation mark)" 48 "$((16#${style:-0}))"
}

[ "${LAUNCH_BOX_HELPERS_ONLY:-0}" = 1 ] && return 0

plan 39
wine_bench_start
at_exit wine_bench_stop

# with_witness DIR: puts the helper DLL beside the host; the module loads it and
# it reports from its DLL_PROCESS_DETACH, after the at-exit list, into witness.out.
with_witness() {
    cp "$BUILD_DIR/modules/exit_witness.dll" "$1/"
}

witness_value() {
    grep -m1 "^$2=" "$1/witness.out" 2>/dev/null | cut -d= -f2-
}

# ---------------------------------------------------------------------------
dir=$(new_run_dir foundation)
run_host "$dir" 30 args "two words" "" 'quote"d'
check "arguments: exit status" 0 "$HOST_STATUS"
check "arguments: count" 5 "$(probe_value "$dir" argc)"
case "$(probe_value "$dir" 'argv\[0\]')" in
    *UmberdeepSafeMode.exe*) pass "arguments: program name first" ;;
    *) fail "arguments: program name first" "$(probe_value "$dir" 'argv\[0\]')" ;;
esac
check "arguments: the strings, spaces kept" \
    "<args>|<two words>|<>|<quote\"d>" \
    "$(probe_value "$dir" 'argv\[1\]')|$(probe_value "$dir" 'argv\[2\]')|$(probe_value "$dir" 'argv\[3\]')|$(probe_value "$dir" 'argv\[4\]')"

# The entry's result becomes the exit status, and only after the host's
# FreeLibrary: the module's detach sees lpReserved NULL, after its entry
# returned, and at the very end the module is no longer mapped.
dir=$(new_run_dir foundation)
with_witness "$dir"
run_host "$dir" 30 return7
check "entry result 7 is the exit status" 7 "$HOST_STATUS"
check "entry result 7: the witness was loaded" 1 "$(probe_value "$dir" witness_loaded)"
check "entry result 7: the module is unloaded by FreeLibrary after its entry returned" \
    "entry_returning detach=freelibrary" \
    "$(grep -E '^(entry_returning|detach=)' "$dir/probe.out" 2>/dev/null | tr '\n' ' ' | sed 's/ $//')"
check "entry result 7: module no longer mapped at process exit" 0 "$(witness_value "$dir" module_loaded)"

dir=$(new_run_dir foundation)
run_host "$dir" 30 setup
check "set-up: exit status" 0 "$HOST_STATUS"
check "set-up: result is nonzero" 1 "$(probe_value "$dir" init)"
check "set-up: a new buffer is active" 0 "$(probe_value "$dir" active_is_initial)"
check "set-up: title" "<Umberdeep>" "$(probe_value "$dir" title)"
check "set-up: cursor hidden" "0 cursor_size=1" "$(probe_value "$dir" cursor_visible)"
check "set-up: both modes 0" "0 output_mode=0" "$(probe_value "$dir" input_mode)"

# After a normal run the initial buffer (marked 'I', pinned as standard output)
# is the active one again; during the run the private one (marked 'P') was.
dir=$(new_run_dir exit_paths)
with_witness "$dir"
run_host "$dir" 30 normal
check "normal exit: exit status" 0 "$HOST_STATUS"
check "normal exit: the private buffer was active during the run" P "$(probe_value "$dir" during)"
check "normal exit: initial buffer active at the end" I "$(witness_value "$dir" active_mark)"

# Standard input from a file: os_init cannot set the input mode and ends the
# run with status 1, and the at-exit list still brings the initial buffer back.
dir=$(new_run_dir exit_paths)
with_witness "$dir"
printf 'not a console\n' >"$dir/stdin.txt"
INPUT="$dir/stdin.txt" run_host "$dir" 30 mode_failure
check "input not a console: exit status 1" 1 "$HOST_STATUS"
check "input not a console: the module ran" 1 "$(probe_value "$dir" witness_loaded)"
check "input not a console: os_init did not return" 0 "$(grep -c '^init' "$dir/probe.out" 2>/dev/null)"
check "input not a console: initial buffer active at the end" I "$(witness_value "$dir" active_mark)"

# No module at all: one "Error" box, then status 1. The relay trace shows the
# call itself: no owner, the caption and style 0x30.
dir=$(new_run_dir -)
run_boxed "$dir" 20 1
check_one_box "no module" "main: LoadLibrary failed"
check_box_call "no module" "main: LoadLibrary failed"

# A module without dll_main: the other box, then status 1, and the module is
# not unloaded before the process ends.
dir=$(new_run_dir launch_no_entry)
run_boxed "$dir" 20 1
check_one_box "no dll_main" "main: GetProcAddress failed"
check_box_call "no dll_main" "main: GetProcAddress failed"
check "no dll_main: module loaded" attached "$(grep -m1 '^attached' "$dir/probe.out" 2>/dev/null)"
check "no dll_main: module not unloaded before exit" process_exit "$(probe_value "$dir" detach)"
