#!/usr/bin/env bash
# The Wine bench as a CTest fixture shared by the Wine tests of one run:
# "fixture.sh start FILE" starts a bench (a Wine prefix, an X display, a tmux
# server) and writes to FILE what a test needs to join it (run_test.sh sources
# it); "fixture.sh stop FILE" stops it and removes FILE.
set -u
. "$(dirname "$0")/lib.sh"
BENCH_SETTINGS="BENCH_DIR WINEPREFIX WINEDLLOVERRIDES WINEDEBUG LC_ALL DISPLAY XVFB_PID TMUX_SOCKET
PATH WINELOADER WINE_RUNS_32BIT I386_RUN I386_WHY I386_WINE"

stop_bench() {
    [ -f "$1" ] || return 0
    # Also what a test broken off inside the emulation namespace left behind.
    (. "$1"; OWN_BENCH=1 wine_bench_stop; tmux -L "$TMUX_SOCKET-i386" kill-server >/dev/null 2>&1)
    rm -f "$1"
}

case ${1:-} in
    start)
        stop_bench "$2"  # a run broken off may have left its bench
        unset BENCH_DIR
        wine_bench_start
        [ -f "$WINEPREFIX/system.reg" ] || { echo "fixture: the Wine prefix was not set up"; wine_bench_stop; exit 1; }
        tmux -L "$TMUX_SOCKET" -f /dev/null new-session -d -s bench "sleep 2147483647"
        for name in $BENCH_SETTINGS; do
            [ -n "${!name+set}" ] && printf 'export %s=%q\n' "$name" "${!name}"
        done >"$2.tmp" && mv "$2.tmp" "$2"
        echo "fixture: bench $BENCH_DIR, display $DISPLAY, tmux server $TMUX_SOCKET"
        echo "32-bit Wine for the i686 host's tests: $(i386_description)" ;;
    stop) stop_bench "$2" ;;
    *) echo "usage: fixture.sh start|stop FILE" >&2; exit 2 ;;
esac
