# Shared by the Wine tests: the Wine bench (scripts/lib/wine_bench.sh), result
# lines (tests/verdict.sh), the contract's figures, the console window's keys and
# the demo's screen. Source it, call wine_bench_start, "at_exit wine_bench_stop".
WINE_TESTS_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$WINE_TESTS_ROOT/scripts/lib/wine_bench.sh"
. "$WINE_TESTS_ROOT/tests/verdict.sh"
# The tag of a result line: the host, and the terminal size when not the default.
tag() { [ "${CONSOLE_SIZE:-80x25}" = 80x25 ] && echo "[$ARCH]" || echo "[$ARCH $CONSOLE_SIZE]"; }
# until_true COMMAND...: runs COMMAND every tenth of a second until it
# succeeds; false after WAIT_SECONDS.
WAIT_SECONDS=${WAIT_SECONDS:-30}
until_true() {
    local i
    for i in $(seq $((WAIT_SECONDS * 10))); do "$@" && return 0; sleep 0.1; done
    return 1
}
# new_run_dir MODULE: prints the path of a fresh folder holding the host and the
# test module modules/MODULE.dll as Umberdeep.dll (the demo for "demo", none for "-").
new_run_dir() {
    local dir
    dir=$(mktemp -d "$BENCH_DIR/run.XXXXXX")
    cp "$BUILD_DIR/UmberdeepSafeMode.exe" "$dir/"
    [ "$1" = demo ] && cp "$BUILD_DIR/Umberdeep.dll" "$dir/"
    [ "$1" = - ] || [ "$1" = demo ] || cp "$BUILD_DIR/modules/$1.dll" "$dir/Umberdeep.dll"
    echo "$dir"
}
# bench_tmux ARGS...: the bench's tmux server; new_session NAME WxH COMMAND: a session of it.
bench_tmux() { tmux -L "$TMUX_SOCKET" "$@"; }
new_session() { bench_tmux -f /dev/null new-session -d -s "$1" -x "${2%x*}" -y "${2#*x}" "$3"; }
# What selftest/contract.h states (contract_lines): the banner's rows, BANNER_TOP
# to BANNER_BOTTOM, the last dark one BANNER_DARK; KEY_CODE[NAME], each key's code
# by the name the demo shows (Up, Shift+Up, Ctrl+Up, Alt+F4); EXIT_CHARACTER.
read_contract() {
    local name values key plain shift ctrl alt
    declare -gA KEY_CODE
    while read -r name values; do
        case $name in
            banner) read -r BANNER_TOP BANNER_BOTTOM _ _ BANNER_DARK <<<"$values" ;;
            key) read -r key plain shift ctrl alt <<<"$values"
                 KEY_CODE[$key]=$plain KEY_CODE[Shift+$key]=$shift
                 KEY_CODE[Ctrl+$key]=$ctrl KEY_CODE[Alt+$key]=$alt ;;
            exit_character) EXIT_CHARACTER=$values ;;
        esac
    done < <("$CONTRACT_LINES")
}
read_contract
[ -n "${BANNER_DARK:-}" ] || { echo "FAIL: no contract from $CONTRACT_LINES (scripts/build.sh native)"; exit 1; }
# last_key NAME: the demo's status line once the key NAME is pressed.
last_key() { echo "Last key: code ${KEY_CODE[$1]} ($1), char 0"; }
# ------------------------------------------------------------ the console window
# run_window_start (wine_bench.sh) starts a program in a console window of its own.
#   wait_window          sets WINDOW to the window once the host has titled it "Umberdeep"
#   window_keys KEY...   types xdotool key names (shift+Up, alt+F1) into WINDOW
#   server_keys KEY...   the same through the X server's keyboard (XTEST), which
#                        keeps the lock state: Num_Lock toggles it
#   window_picture FILE  a PNG of WINDOW as the display shows it
find_window() { WINDOW=$(xdotool search --onlyvisible --name '^Umberdeep$' 2>/dev/null | head -n 1); [ -n "$WINDOW" ]; }
wait_window() { until_true find_window; }
# A key that ends the game closes the window before its release: xdotool then
# fails, and a key it pressed through the server would stay held there,
# repeating into the next window, so it is let go there.
window_keys() {
    xdotool key --window "$WINDOW" --delay "${KEY_DELAY:-20}" "$@" 2>/dev/null || xdotool keyup "$@" 2>/dev/null
}
server_keys() { xdotool windowfocus --sync "$WINDOW" 2>/dev/null; xdotool key --delay 20 "$@" 2>/dev/null; }
window_picture() { xwd -id "$WINDOW" -silent | convert xwd:- "$1"; }
# ------------------------------------------------------------ the demo on screen
# What the demo shows, through two functions a test defines: `screen`, its text,
# and `background_map`, each cell's background: D dark grey, L light, X other, "." none.
#   banner_report        "cells=N outside=N dark_rows=R1-R2 light_rows=R1-R2" (contract_lines)
#   wait_text PATTERN    waits until a line on screen matches PATTERN (grep -E)
#   see LABEL PATTERN    passes when PATTERN comes on screen; shows the screen when not
#   wait_for FUNCTION EXPECTED   waits until FUNCTION prints EXPECTED; prints what it printed last
#   player, wait_player X,Y      "x,y" of the "@" on screen; waits until it stands at X,Y
#   status_line, wait_status TEXT   the status line; waits until it reads TEXT
banner_report() { background_map | "$CONTRACT_LINES" banner_report; }
on_screen() { screen | grep -qE -- "$1"; }
wait_text() { until_true on_screen "$1"; }
see() { if wait_text "$2"; then pass "$1"; else fail "$1" "$(screen | sed '/^ *$/d' | head -n 24)"; fi; }
prints() { PRINTED=$("$1"); [ "$PRINTED" = "$2" ]; }
wait_for() { until_true prints "$1" "$2"; echo "$PRINTED"; }
player() { screen | awk '{ i = index($0, "@"); if (i) { print i - 1 "," NR - 1; exit } }'; }
wait_player() { wait_for player "$1"; }
status_line() { screen | grep -m1 -o 'Last key: .*' | sed 's/ *$//'; }
wait_status() { wait_for status_line "$1"; }
# check_banner LABEL: once the whole banner shows, its cells and where they lie.
BANNER_ROWS="dark_rows=$BANNER_TOP-$BANNER_DARK light_rows=$((BANNER_DARK + 1))-$BANNER_BOTTOM"
banner_whole() { REPORT=$(banner_report); [[ "$REPORT" == *" $BANNER_ROWS" ]]; }
check_banner() {
    until_true banner_whole
    local cells=${REPORT%% *}
    cells=${cells#cells=}
    if [ "$cells" -ge 100 ]; then pass "$1: the banner shows ($cells cells)"
    else fail "$1: the banner shows" "$REPORT"; fi
    check "$1: the banner: dark top rows, light below, nothing outside its rectangle" \
        "outside=0 $BANNER_ROWS" "${REPORT#* }"
}
