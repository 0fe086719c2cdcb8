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
#
# Then every way out, including Ctrl+Break, the close event and a crash, with
# standard output left as the process got it, seen by a program that runs after
# the host in the same console.
set -u
. "$(dirname "$0")/lib.sh"
plan 74
wine_bench_start
at_exit wine_bench_stop

witness_value() { probe_value "$1" "$2" witness.out; }

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

# The same ways out, and the ones that skip the at-exit list, seen as the player
# gets the console back: standard output stays as the process got it (under
# Wine it follows the active buffer; redirected, it is a file), and a program
# run after the host in the same console (run_in_launcher) reads the input mode
# and the active buffer. The player's buffer is told by its output mode and
# visible cursor, and by its mark where nothing has scrolled it away.
after_value() { probe_value "$1" "$2" after.out; }

# Wine's crash debugger would wait on a box; without it, it writes its report
# into the console, as it does for a player without a desktop.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

# launcher_run NAME STATUS HOST_ARGS [MARKED]: runs exit_paths as a launcher
# script would and checks what the player got back.
launcher_run() {
    dir=$(new_run_dir exit_paths)
    printf 'not a console\n' >"$dir/stdin.txt"
    run_in_launcher "$dir" 30 "$3"
    local status=$2
    [ "$status" = crash ] && status=$(probe_value "$dir" exception)
    check "$1, in a console that outlives the host: exit status" "${status:-no exception seen}" "$HOST_STATUS"
    # A failing os_init ends the run before the module can look.
    [ "$2" = 1 ] || check "$1, in a console that outlives the host: private buffer active during the run" \
        P "$(probe_value "$dir" during)"
    check "$1, in a console that outlives the host: the player's buffer is active afterwards" \
        "$(probe_value "$dir" player_output_mode) visible" \
        "$(after_value "$dir" output_mode) $(after_value "$dir" cursor)"
    [ "${4:-marked}" = marked ] &&
        check "$1, in a console that outlives the host: its mark shows" I "$(after_value "$dir" active_mark)"
    check "$1, in a console that outlives the host: the input mode given back" \
        "$PLAYER_MODE" "$(after_value "$dir" input_mode)"
}

# Calibration: without the at-exit list the program after the host must see the
# game's buffer and input mode 0.
dir=$(new_run_dir exit_paths)
run_in_launcher "$dir" 30 "skip_at_exit as_started"
check "in a console that outlives the host, without the at-exit list: the game's buffer" \
    "P 0 hidden 0" "$(after_value "$dir" active_mark) $(after_value "$dir" output_mode) $(after_value "$dir" cursor) $(after_value "$dir" input_mode)"

launcher_run "normal return" 0 "normal as_started"
launcher_run "standard output to a file" 0 "normal as_started >output.txt"
launcher_run "Alt+F4" 0 "alt_f4 as_started"
launcher_run "Ctrl+X" 0 "ctrl_x as_started"
launcher_run "input mode failure" 1 "mode_failure as_started <stdin.txt"
# Wine's default handling of a console event ends the process with status 0
# (Windows: STATUS_CONTROL_C_EXIT); 5 would mean the host's handler kept it.
launcher_run "Ctrl+Break" 0 "ctrl_break as_started"
launcher_run "the console's close event" 0 "ctrl_close as_started"
# The crash keeps its own status: the code of the exception, as the module
# saw it go by (an access violation, 0xC0000005, on real hardware).
launcher_run "a crash in the module" crash "crash as_started" unmarked
