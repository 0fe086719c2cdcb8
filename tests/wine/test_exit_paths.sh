#!/usr/bin/env bash
# Every way a run ends once os_init has registered its at-exit handler brings
# the initial buffer and the console's input mode back: a normal return, Alt+F4, Ctrl+X, any other key-down
# record carrying character 24, and a failure to set the input mode.
#
# The module (exit_paths) pins the initial buffer as standard output, marks it
# 'I', calls os_init and marks the private buffer 'P'; exit_witness.dll, loaded
# and never freed, reads the active buffer's mark from its DLL_PROCESS_DETACH,
# which runs after the at-exit list, into witness.out. Keys are queued with
# WriteConsoleInputA on CONIN$ and read by the module's os_get_input calls; a
# scenario the host does not end returns 5.
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
trap wine_bench_stop EXIT

witness_value() {
    grep -m1 "^$2=" "$1/witness.out" 2>/dev/null | cut -d= -f2-
}

# witnessed_run SCENARIO: runs exit_paths with the witness beside it; sets dir.
witnessed_run() {
    dir=$(new_run_dir exit_paths)
    cp "$BUILD_DIR/modules/exit_witness.dll" "$dir/"
    run_host "$dir" 20 "$1"
}

# The input mode the module gives the console before os_init: processed and
# line input with echo, extended flags with quick-edit and insert off (0x87).
PLAYER_MODE=135

# check_restored NAME STATUS: the run ended with STATUS, the private buffer was
# active while it ran, and the initial buffer and the console's input mode
# were back at the very end.
check_restored() {
    check "$1: exit status" "$2" "$HOST_STATUS"
    check "$1: private buffer active during the run" P "$(probe_value "$dir" during)"
    check "$1: initial buffer active at the end" I "$(witness_value "$dir" active_mark)"
    check "$1: the console's input mode given back" "$PLAYER_MODE" "$(witness_value "$dir" input_mode)"
}

# Calibration: leaving through ExitProcess skips the at-exit list, and the
# witness must then see the private buffer. Without this the checks below could
# pass for a witness that always reads 'I'.
witnessed_run skip_at_exit
check "without the at-exit list the witness sees the private buffer" P "$(witness_value "$dir" active_mark)"
check "the console takes the distinctive input mode" "$PLAYER_MODE" "$(probe_value "$dir" player_mode)"
check "without the at-exit list the input mode stays switched off" 0 "$(witness_value "$dir" input_mode)"

witnessed_run normal
check_restored "normal return" 0
check "normal return: module unloaded before the end" 0 "$(witness_value "$dir" module_loaded)"

# The exit keys end the process inside os_get_input: the entry never returns
# and the module is not unloaded.
for scenario in alt_f4 ctrl_x char_24; do
    case $scenario in
        alt_f4) name="Alt+F4" ;;
        ctrl_x) name="Ctrl+X" ;;
        char_24) name="character 24 on F10" ;;
    esac
    witnessed_run "$scenario"
    check "$name: the key was queued" 1 "$(probe_value "$dir" queued)"
    check_restored "$name" 0
    check "$name: the entry did not go on" 0 "$(grep -c '^survived' "$dir/probe.out" 2>/dev/null)"
    check "$name: module still mapped at the end" 1 "$(witness_value "$dir" module_loaded)"
done

# A released Ctrl+X ends nothing: the same polling then returns to the module.
witnessed_run ctrl_x_released
check "released Ctrl+X: the run goes on" 5 "$HOST_STATUS"
check "released Ctrl+X: reported as no key" "key=0 char=0" "$(grep -m1 '^survived' "$dir/probe.out" 2>/dev/null | cut -d' ' -f2-)"

# Standard input from a file: os_init's input mode step fails after the
# handler is registered.
dir=$(new_run_dir exit_paths)
cp "$BUILD_DIR/modules/exit_witness.dll" "$dir/"
printf 'not a console\n' >"$dir/stdin.txt"
INPUT="$dir/stdin.txt" run_host "$dir" 20 mode_failure
check "input mode failure: exit status" 1 "$HOST_STATUS"
check "input mode failure: os_init did not return" 0 "$(grep -c '^init' "$dir/probe.out" 2>/dev/null)"
check "input mode failure: initial buffer active at the end" I "$(witness_value "$dir" active_mark)"
check "input mode failure: the console's input mode untouched" "$PLAYER_MODE" "$(witness_value "$dir" input_mode)"
