#!/usr/bin/env bash
# Builds the x86_64 host and the demo game and plays it in this terminal under
# Wine. Arguments go to the game. The Wine prefix lives in build/wine-prefix
# (UMBERDEEP_WINEPREFIX overrides it), so only the first start is slow.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

# Wine's console needs a terminal to draw in and read keys from. Without one,
# start the game in a tmux session and say how to reach it.
if ! [ -t 0 ] || ! [ -t 1 ]; then
    echo "run: the game needs a terminal (standard input and output are not one)." >&2
    if command -v tmux >/dev/null 2>&1 && [ -z "${UMBERDEEP_NO_TMUX:-}" ]; then
        session=${UMBERDEEP_TMUX_SESSION:-umberdeep}
        if tmux has-session -t "=$session" 2>/dev/null; then
            echo "run: tmux session '$session' is already running; attach with: tmux attach -t $session" >&2
        else
            tmux new-session -d -s "$session" -x 80 -y 25 "bash $(printf '%q' "$ROOT/scripts/run.sh") $(printf '%q ' "$@")"
            echo "run: started it in tmux session '$session'; attach with: tmux attach -t $session" >&2
        fi
        exit 0
    fi
    echo "run: open a terminal and run: bash scripts/run.sh" >&2
    exit 1
fi

scripts/deps.sh run
echo "run: building the host and the demo" >&2
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$(nproc)" --target UmberdeepSafeMode umberdeep_demo >/dev/null

. scripts/wine_loader.sh
export WINEPREFIX=${UMBERDEEP_WINEPREFIX:-$ROOT/build/wine-prefix}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
wine_choose_loader "$ROOT/build/wine-bin"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run: first start: setting up a Wine prefix in ${WINEPREFIX#"$ROOT"/} (this takes a while once; later starts are quick)" >&2
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi

columns=$(stty size 2>/dev/null | cut -d' ' -f2)
rows=$(stty size 2>/dev/null | cut -d' ' -f1)
if [ "${columns:-80}" -lt 80 ] || [ "${rows:-25}" -lt 25 ]; then
    echo "run: this terminal is ${columns}x${rows}; the game draws 80x25 and will be cut off" >&2
    sleep 2
fi

# Whatever happens to the game, give the terminal back as it was: its modes,
# plain colours, a visible cursor and a clear screen.
saved_modes=$(stty -g)
restore_terminal() {
    stty "$saved_modes" 2>/dev/null || true
    printf '\033[0m\033[?25h\033[H\033[2J'
}
trap restore_terminal EXIT

cd build/windows-x64
status=0
wine UmberdeepSafeMode.exe "$@" || status=$?
restore_terminal
trap - EXIT
echo "run: the game ended with status $status" >&2
exit "$status"
