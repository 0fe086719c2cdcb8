# The Wine bench: a private Wine prefix, tmux server and X display, and ways to
# run the host in it, for the Wine tests (tests/wine/lib.sh) and the benchmark
# (scripts/bench.sh). Source it; then call wine_bench_start once and
# wine_bench_stop at the end.
#
#   ARCH=x64|x86        which host (build/windows-$ARCH)
#   CONSOLE_SIZE=WxH    the terminal the host runs in (default 80x25)
#   run_host DIR TIMEOUT ARGS...   runs DIR/UmberdeepSafeMode.exe in tmux; sets HOST_STATUS
#   run_window_start DIR TIMEOUT COMMAND...  the same in Wine's console window

WINE_BENCH_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ARCH=${ARCH:-x64}
BUILD_ROOT=${BUILD_ROOT:-$WINE_BENCH_ROOT/build}
BUILD_DIR=$BUILD_ROOT/windows-$ARCH
. "$WINE_BENCH_ROOT/scripts/lib/wine_loader.sh"

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

# run_host DIR TIMEOUT [ARGS...]: runs the host in DIR inside a tmux pane (a real
# console) and waits for it; HOST_STATUS is its exit status (124 on time-out).
# Arguments are passed through a file so that spaces survive the shell hops.
run_host() {
    local dir=$1 limit=$2
    shift 2
    run_host_start "$dir" "$limit" "$@"
    run_host_wait "$dir" "$limit"
}

# run_host_start DIR TIMEOUT [ARGS...]: starts the host and returns at once;
# HOST_PANE is its tmux pane. HOST_PROGRAM runs another command line in place
# of the host.
run_host_start() {
    local dir=$1 limit=$2
    shift 2
    rm -f "$dir/rc"
    local quoted="" a
    for a in "$@"; do quoted+=" $(printf '%q' "$a")"; done
    cat >"$dir/run.sh" <<RUN
cd $(printf '%q' "$dir") || exit 1
timeout --foreground -k 5 $limit ${HOST_PROGRAM:-wine UmberdeepSafeMode.exe}$quoted
echo \$? > rc.tmp && mv rc.tmp rc
RUN
    HOST_PANE=$(tmux_window "$(basename "$dir")" "bash $dir/run.sh")
}

# in_i386_bench COMMAND...: runs COMMAND where the i686 host's Wine is
# (i386_support), with a tmux server of its own, stopped afterwards: panes of
# the bench's server, started outside, could not run 32-bit programs. Under
# emulation that is a private namespace. With the private root's Wine, COMMAND
# runs here with the root's wine, wineboot and wineserver first on PATH; the
# Wine server of the machine's Wine, which cannot reach the root's files, is
# stopped before, and the root's after, so that each side starts its own.
in_i386_bench() {
    local outer=$TMUX_SOCKET status runner=(in_i386_namespace)
    if [ "$I386_WINE" = root ]; then
        wine_root_commands "$BENCH_DIR/bin-i386"
        wineserver -k >/dev/null 2>&1
        runner=(env PATH="$BENCH_DIR/bin-i386:$PATH")
    elif [ "$I386_RUN" != emulated ]; then
        "$@"
        return
    fi
    TMUX_SOCKET=$outer-i386 "${runner[@]}" "$@"
    status=$?
    tmux -L "$outer-i386" kill-server >/dev/null 2>&1
    [ "$I386_WINE" = root ] && "$BENCH_DIR/bin-i386/wineserver" -k >/dev/null 2>&1
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

run_host_wait() {
    local dir=$1 limit=$2 i
    for i in $(seq $((limit * 10 + 100))); do
        [ -f "$dir/rc" ] && break
        sleep 0.1
    done
    HOST_STATUS=$(cat "$dir/rc" 2>/dev/null || echo 124)
}


# run_window_start DIR TIMEOUT COMMAND...: runs COMMAND (a program in DIR and
# its arguments) in a console window and returns at once; run_host_wait DIR
# TIMEOUT then gives HOST_STATUS.
run_window_start() {
    local dir=$1 limit=$2
    shift 2
    rm -f "$dir/rc"
    (cd "$dir" && timeout -k 5 "$limit" wine wineconsole "$@" </dev/null >/dev/null 2>&1
     echo $? >rc.tmp && mv rc.tmp rc) &
}
