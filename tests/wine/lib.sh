# Shared by the Wine tests: a private Wine prefix, tmux server and X display for
# one test run, a way to run the host in a real console, and result lines.
# Source it; then call wine_bench_start once and "at_exit wine_bench_stop".
#
#   ARCH=x64|x86        which host to test (build/windows-$ARCH)
#   CONSOLE_SIZE=WxH    the terminal the host runs in (default 80x25)
#   run_host DIR TIMEOUT ARGS...   runs DIR/UmberdeepSafeMode.exe in tmux; sets HOST_STATUS
#   new_run_dir MODULE             a fresh folder with the host and modules/MODULE.dll as Umberdeep.dll
#   run_window_start DIR TIMEOUT COMMAND...  the same in Wine's console window (below)
#   plan N, pass, fail, check, skip, at_exit   result lines and the verdict (tests/verdict.sh)

WINE_TESTS_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ARCH=${ARCH:-x64}
BUILD_ROOT=${BUILD_ROOT:-$WINE_TESTS_ROOT/build}
BUILD_DIR=$BUILD_ROOT/windows-$ARCH
. "$WINE_TESTS_ROOT/tests/verdict.sh"
. "$WINE_TESTS_ROOT/scripts/wine_loader.sh"

# The tag of a result line: the host, and the terminal size when not the default.
tag() {
    local size=${CONSOLE_SIZE:-80x25}
    [ "$size" = 80x25 ] && echo "[$ARCH]" || echo "[$ARCH $size]"
}

# Starts a bench unless one is already running (BENCH_DIR set by a caller).
wine_bench_start() {
    if [ -n "${BENCH_DIR:-}" ]; then OWN_BENCH=0; return 0; fi
    OWN_BENCH=1
    BENCH_DIR=$(mktemp -d /tmp/umberdeep-wine.XXXXXX)
    export WINEPREFIX=$BENCH_DIR/prefix
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEDEBUG=-all
    export LC_ALL=C
    export BENCH_DIR
    export TMUX_SOCKET=umberdeep-$$-$RANDOM
    wine_choose_loader "$BENCH_DIR/bin"
    # A private X display, so that message boxes really appear and block.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$BENCH_DIR/display" >/dev/null 2>&1 &
    export XVFB_PID=$!
    local i
    for i in $(seq 100); do [ -s "$BENCH_DIR/display" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$BENCH_DIR/display")"
    wine_prefix_init
}

wine_bench_stop() {
    [ "${OWN_BENCH:-1}" = 1 ] || return 0
    [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
    [ -n "${TMUX_SOCKET:-}" ] && tmux -L "$TMUX_SOCKET" kill-server >/dev/null 2>&1
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1
    [ -n "${BENCH_DIR:-}" ] && rm -rf "$BENCH_DIR"
    return 0
}

# new_run_dir MODULE: prints the path of a fresh folder holding the host and the
# named test module as Umberdeep.dll (the demo when MODULE is "demo", no module
# when it is "-").
new_run_dir() {
    local dir
    dir=$(mktemp -d "$BENCH_DIR/run.XXXXXX")
    cp "$BUILD_DIR/UmberdeepSafeMode.exe" "$dir/"
    case $1 in
        -) ;;
        demo) cp "$BUILD_DIR/Umberdeep.dll" "$dir/Umberdeep.dll" ;;
        *) cp "$BUILD_DIR/modules/$1.dll" "$dir/Umberdeep.dll" ;;
    esac
    echo "$dir"
}

# run_host DIR TIMEOUT [ARGS...]: runs the host in DIR inside a tmux pane (a real
# console) and waits for it; HOST_STATUS is its exit status (124 on time-out).
# Arguments are passed through a file so that spaces survive the shell hops.
run_host() {
    local dir=$1 limit=$2
    shift 2
    run_host_start "$dir" "$limit" "$@"
    run_host_wait "$dir" "$limit"
}

# run_host_start DIR TIMEOUT [ARGS...]: starts the host and returns at once; the
# pane is "$TMUX_SOCKET" session "$(basename DIR)". INPUT=file redirects stdin;
# HOST_PROGRAM runs another command line in place of the host.
run_host_start() {
    local dir=$1 limit=$2
    shift 2
    rm -f "$dir/rc"
    local quoted="" a
    for a in "$@"; do quoted+=" $(printf '%q' "$a")"; done
    local stdin_redirect=""
    [ -n "${INPUT:-}" ] && stdin_redirect="< $(printf '%q' "$INPUT")"
    cat >"$dir/run.sh" <<RUN
cd $(printf '%q' "$dir") || exit 1
timeout --foreground -k 5 $limit ${HOST_PROGRAM:-wine UmberdeepSafeMode.exe}$quoted $stdin_redirect
echo \$? > rc.tmp && mv rc.tmp rc
RUN
    tmux_window "$(basename "$dir")" "bash $dir/run.sh" >/dev/null
}

# run_in_launcher DIR TIMEOUT HOST_ARGS: runs the host as a launcher script
# does, in a console that outlives it: a batch file runs "UmberdeepSafeMode.exe
# HOST_ARGS" (cmd's syntax, redirections included), then after_game.exe, which
# writes what it finds of the console to DIR/after.out. HOST_STATUS is the
# host's status as cmd saw it.
run_in_launcher() {
    cp "$BUILD_DIR/modules/after_game.exe" "$1/"
    printf '@echo off\r\nUmberdeepSafeMode.exe %s\r\n>host_status echo %%errorlevel%%\r\nafter_game.exe\r\n' \
        "$3" >"$1/launch.bat"
    HOST_PROGRAM="wine cmd /c launch.bat" run_host "$1" "$2"
    HOST_STATUS=$(tr -d '\r\n ' <"$1/host_status" 2>/dev/null || echo none)
}

# in_i386_bench COMMAND...: runs COMMAND inside the emulation namespace with a
# tmux server of its own (panes of the bench's server, started outside, could
# not run 32-bit programs), and stops that server afterwards.
in_i386_bench() {
    local outer=$TMUX_SOCKET status
    TMUX_SOCKET=$outer-i386 in_i386_namespace "$@"
    status=$?
    tmux -L "$outer-i386" kill-server >/dev/null 2>&1
    return "$status"
}

# tmux_window NAME COMMAND: runs COMMAND in a new window of the bench's tmux
# server, in a terminal of CONSOLE_SIZE (columns x rows, default 80x25); prints
# the pane id. Each size has a session of its own, since windows take their
# session's size.
tmux_window() {
    local size=${CONSOLE_SIZE:-80x25} session
    session=main
    [ "$size" = 80x25 ] || session=main-$size
    if tmux -L "$TMUX_SOCKET" has-session -t "=$session" 2>/dev/null; then
        tmux -L "$TMUX_SOCKET" new-window -d -P -F '#{pane_id}' -t "=$session" -n "$1" "$2"
    else
        tmux -L "$TMUX_SOCKET" -f /dev/null new-session -d -P -F '#{pane_id}' -s "$session" -n "$1" \
            -x "${size%x*}" -y "${size#*x}" "$2"
        tmux -L "$TMUX_SOCKET" set-option -g remain-on-exit off >/dev/null
    fi
}

# host_window DIR: the tmux window id ("@N") of the host started for DIR, once
# it exists. Window names hold a dot, which tmux targets read as a pane, so
# keys and captures go to the id.
host_window() {
    local name i id
    name=$(basename "$1")
    for i in $(seq 50); do
        id=$(tmux -L "$TMUX_SOCKET" list-windows -a -F '#{window_id} #{window_name}' 2>/dev/null |
             awk -v n="$name" '$2 == n { print $1 }')
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
}

run_host_wait() {
    local dir=$1 limit=$2 i
    for i in $(seq $((limit * 10 + 100))); do
        [ -f "$dir/rc" ] && break
        sleep 0.1
    done
    HOST_STATUS=$(cat "$dir/rc" 2>/dev/null || echo 124)
}

# field TEXT KEY: the value of "KEY=..." among the space-separated words of TEXT.
field() {
    local word
    for word in $1; do
        case "$word" in "$2="*) echo "${word#*=}"; return ;; esac
    done
}

# probe_value DIR KEY [FILE]: the value of "KEY=..." from DIR/FILE, by default
# the module's probe.out.
probe_value() {
    grep -m1 "^$2=" "$1/${3:-probe.out}" 2>/dev/null | cut -d= -f2-
}

# ------------------------------------------------------------ the console window
# `wine wineconsole PROGRAM` gives PROGRAM a console window of its own on the
# bench's X display, where keys come from the X keyboard as on a desktop.
#
#   run_window_start DIR TIMEOUT COMMAND...  runs COMMAND (a program in DIR and
#                        its arguments) in a console window and returns at once;
#                        run_host_wait DIR TIMEOUT then gives HOST_STATUS
#   wait_window          sets WINDOW to the game's window, once the host has
#                        titled it "Umberdeep"; false after WAIT_SECONDS
#   window_keys KEY...   types xdotool key names (shift+Up, alt+F1) into WINDOW
#   server_keys KEY...   the same through the X server's keyboard (XTEST), which
#                        keeps the lock state: Num_Lock toggles it
#   window_picture FILE  a PNG of WINDOW as the display shows it

run_window_start() {
    local dir=$1 limit=$2
    shift 2
    rm -f "$dir/rc"
    (cd "$dir" && timeout -k 5 "$limit" wine wineconsole "$@" </dev/null >/dev/null 2>&1
     echo $? >rc.tmp && mv rc.tmp rc) &
}

wait_window() {
    local i
    WINDOW=
    for i in $(seq $((WAIT_SECONDS * 10))); do
        WINDOW=$(xdotool search --onlyvisible --name '^Umberdeep$' 2>/dev/null | head -n 1)
        [ -n "$WINDOW" ] && return 0
        sleep 0.1
    done
    return 1
}

# xdotool sends the keys to the window as events of its own, or, while the
# window has the input focus, through the server's keyboard. A key that ends
# the game closes the window before its release: xdotool then stops with an
# error, and a key it pressed through the server would stay held there,
# repeating into the next window. So when it fails, the keys are let go at the
# server (a release of a key that is not held is dropped). It also asks for the
# input focus on every call, which under Xvfb without a window manager it
# complains about on standard error.
window_keys() {
    xdotool key --window "$WINDOW" --delay "${KEY_DELAY:-20}" "$@" 2>/dev/null || xdotool keyup "$@" 2>/dev/null
}

server_keys() {
    xdotool windowfocus --sync "$WINDOW" 2>/dev/null
    xdotool key --delay 20 "$@" 2>/dev/null
}

window_picture() { xwd -id "$WINDOW" -silent | convert xwd:- "$1"; }

# ------------------------------------------------------------ the demo on screen
# What the demo shows, read through two functions that a test defines for where
# it runs: `screen` prints the screen's text, row after row, and
# `background_map` the same rows with each cell's background as D (dark grey),
# L (light grey), X (another colour) or "." (none). WAIT_SECONDS bounds every wait.
WAIT_SECONDS=${WAIT_SECONDS:-30}

# banner_report: "cells=N outside=N dark_rows=R1-R2 light_rows=R1-R2" from the
# background map: how many cells have a background, how many of them lie
# outside columns 23-55 of rows 1-8, and which rows hold the dark and light ones.
banner_report() {
    background_map | awk '
    {
        row = NR - 1
        for (x = 0; x < length($0); x++) {
            c = substr($0, x + 1, 1)
            if (c == ".") continue
            cells++
            if (row < 1 || row > 8 || x < 23 || x > 55) outside++
            if (c == "D") { if (dmin == "" || row < dmin) dmin = row; if (row > dmax) dmax = row }
            if (c == "L") { if (lmin == "" || row < lmin) lmin = row; if (row > lmax) lmax = row }
        }
    }
    END { printf "cells=%d outside=%d dark_rows=%s-%s light_rows=%s-%s\n", cells, outside, dmin, dmax, lmin, lmax }'
}

# wait_text TEXT: waits until TEXT is on screen; false after WAIT_SECONDS.
wait_text() {
    local i
    for i in $(seq $((WAIT_SECONDS * 10))); do
        screen | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    return 1
}

# player: "x,y" of the "@" on screen, or nothing.
player() { screen | awk '{ i = index($0, "@"); if (i) { print i - 1 "," NR - 1; exit } }'; }

# wait_for FUNCTION EXPECTED: waits until FUNCTION prints EXPECTED; prints
# what it printed last.
wait_for() {
    local i out
    for i in $(seq $((WAIT_SECONDS * 10))); do
        out=$("$1")
        [ "$out" = "$2" ] && break
        sleep 0.1
    done
    echo "$out"
}

# wait_player X,Y: waits until the "@" stands there; prints where it stands.
wait_player() { wait_for player "$1"; }

status_line() { screen | grep -m1 -o 'Last key: .*' | sed 's/ *$//'; }

# wait_status TEXT: waits until the status line reads TEXT; prints what it reads.
wait_status() { wait_for status_line "$1"; }

# check_banner LABEL: waits until the whole banner shows (it is painted before
# the prompt), then checks its cells and where they lie.
check_banner() {
    local i report cells
    for i in $(seq $((WAIT_SECONDS * 10))); do
        report=$(banner_report)
        [[ "$report" == *" dark_rows=1-2 light_rows=3-8" ]] && break
        sleep 0.1
    done
    cells=$(echo "$report" | sed -E 's/cells=([0-9]+).*/\1/')
    if [ "$cells" -ge 100 ]; then pass "$1: the banner shows ($cells cells)"
    else fail "$1: the banner shows" "$report"; fi
    check "$1: the banner: dark top rows, light below, nothing outside columns 23-55 of rows 1-8" \
        "outside=0 dark_rows=1-2 light_rows=3-8" "${report#* }"
}
