# Shared by the Wine tests: the Wine bench and its ways to run the host
# (scripts/lib/wine_bench.sh), result lines (tests/verdict.sh), and what a test
# reads from outside the process: the console window's keys and the demo's
# screen. Source it; then call wine_bench_start once and "at_exit wine_bench_stop".

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

# ------------------------------------------------------------ the console window
# run_window_start (scripts/lib/wine_bench.sh) starts a program in a console window
# of its own on the bench's X display, where keys come from the X keyboard.
#   wait_window          sets WINDOW to the window once the host has titled it "Umberdeep"
#   window_keys KEY...   types xdotool key names (shift+Up, alt+F1) into WINDOW
#   server_keys KEY...   the same through the X server's keyboard (XTEST), which
#                        keeps the lock state: Num_Lock toggles it
#   window_picture FILE  a PNG of WINDOW as the display shows it
find_window() { WINDOW=$(xdotool search --onlyvisible --name '^Umberdeep$' 2>/dev/null | head -n 1); [ -n "$WINDOW" ]; }
wait_window() { until_true find_window; }

# A key that ends the game closes the window before its release: xdotool then
# fails, and a key it pressed through the server (as it does while the window
# has the focus) would stay held there, repeating into the next window; so the
# keys are then let go at the server. Without a window manager xdotool
# complains on standard error about the focus.
window_keys() {
    xdotool key --window "$WINDOW" --delay "${KEY_DELAY:-20}" "$@" 2>/dev/null || xdotool keyup "$@" 2>/dev/null
}
server_keys() { xdotool windowfocus --sync "$WINDOW" 2>/dev/null; xdotool key --delay 20 "$@" 2>/dev/null; }
window_picture() { xwd -id "$WINDOW" -silent | convert xwd:- "$1"; }

# ------------------------------------------------------------ the demo on screen
# What the demo shows, read through two functions that a test defines for where
# it runs: `screen` prints the screen's text, row after row, and
# `background_map` the same rows with each cell's background as D (dark grey),
# L (light grey), X (another colour) or "." (none).

# What selftest/contract.h states, as the native build's contract_lines prints
# it: the banner's rectangle and its last dark row; KEY_CODE[NAME], each key's
# codes by the names the demo shows (Up, Shift+Up, Ctrl+Up, Alt+F4); the exit character.
read_contract() {
    local name values key plain shift ctrl alt
    declare -gA KEY_CODE
    while read -r name values; do
        case $name in
            banner) read -r BANNER_TOP BANNER_BOTTOM BANNER_LEFT BANNER_RIGHT BANNER_DARK <<<"$values" ;;
            key) read -r key plain shift ctrl alt <<<"$values"
                 KEY_CODE[$key]=$plain KEY_CODE[Shift+$key]=$shift KEY_CODE[Ctrl+$key]=$ctrl KEY_CODE[Alt+$key]=$alt ;;
            exit_character) EXIT_CHARACTER=$values ;;
        esac
    done < <("$CONTRACT_LINES")
}
read_contract
[ -n "${BANNER_DARK:-}" ] || { echo "FAIL: no contract from $CONTRACT_LINES (scripts/build.sh native)"; exit 1; }
BANNER_ROWS="dark_rows=$BANNER_TOP-$BANNER_DARK light_rows=$((BANNER_DARK + 1))-$BANNER_BOTTOM"
# last_key NAME: the demo's status line once the key NAME is pressed.
last_key() { echo "Last key: code ${KEY_CODE[$1]} ($1), char 0"; }

# banner_report: "cells=N outside=N dark_rows=R1-R2 light_rows=R1-R2" from the
# background map: how many cells have a background, how many of them lie
# outside the banner's rectangle, and which rows hold the dark and light ones.
banner_report() {
    background_map | awk -v top="$BANNER_TOP" -v bottom="$BANNER_BOTTOM" -v left="$BANNER_LEFT" -v right="$BANNER_RIGHT" '
    {
        row = NR - 1
        for (x = 0; x < length($0); x++) {
            c = substr($0, x + 1, 1)
            if (c == ".") continue
            cells++
            if (row < top || row > bottom || x < left || x > right) outside++
            if (c == "D") { if (dmin == "" || row < dmin) dmin = row; if (row > dmax) dmax = row }
            if (c == "L") { if (lmin == "" || row < lmin) lmin = row; if (row > lmax) lmax = row }
        }
    }
    END { printf "cells=%d outside=%d dark_rows=%s-%s light_rows=%s-%s\n", cells, outside, dmin, dmax, lmin, lmax }'
}

# wait_text PATTERN: waits until a line on screen matches PATTERN (grep -E).
on_screen() { screen | grep -qE -- "$1"; }
wait_text() { until_true on_screen "$1"; }
# see LABEL PATTERN: passes when PATTERN comes on screen; shows the screen when not.
see() { if wait_text "$2"; then pass "$1"; else fail "$1" "$(screen | sed '/^ *$/d' | head -n 24)"; fi; }

# wait_for FUNCTION EXPECTED: waits until FUNCTION prints EXPECTED; prints
# what it printed last.
prints() { PRINTED=$("$1"); [ "$PRINTED" = "$2" ]; }
wait_for() { until_true prints "$1" "$2"; echo "$PRINTED"; }

# player: "x,y" of the "@" on screen, or nothing; wait_player X,Y waits until
# it stands there and prints where it stands.
player() { screen | awk '{ i = index($0, "@"); if (i) { print i - 1 "," NR - 1; exit } }'; }
wait_player() { wait_for player "$1"; }
# The status line; wait_status TEXT waits until it reads TEXT and prints what it reads.
status_line() { screen | grep -m1 -o 'Last key: .*' | sed 's/ *$//'; }
wait_status() { wait_for status_line "$1"; }

# check_banner LABEL: waits until the whole banner shows (it is painted before
# the prompt), then checks its cells and where they lie.
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
