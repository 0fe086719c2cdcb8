#!/usr/bin/env bash
# Builds the host and plays a game in this terminal under Wine: the demo with
# the x86_64 host, or with --module PATH a game module of either bitness with
# the host of its bitness. With --window the game gets Wine's console window on
# the desktop instead (wineconsole), where keys come from the keyboard as on
# Windows. Other arguments go to the game. The Wine prefix lives in
# build/wine-prefix (UMBERDEEP_WINEPREFIX overrides it), so only the first
# start is slow.
#   usage: scripts/run.sh [--window] [--module PATH/TO/Umberdeep.dll] [ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
all_args=("$@")

# pe_dll_arch FILE: prints x64 or x86 for a 64- or 32-bit x86 Windows DLL, and
# fails for anything else. Reads the PE header: the offset of the "PE\0\0"
# signature at 0x3C, then the machine type and the characteristics' DLL bit.
pe_dll_arch() {
    local file=$1 offset signature machine flags
    [ -f "$file" ] && [ -r "$file" ] || return 1
    [ "$(head -c 2 "$file")" = MZ ] || return 1
    offset=$(od -An -tu4 -j 60 -N 4 "$file" | tr -d ' ')
    [ -n "$offset" ] || return 1
    signature=$(od -An -tx1 -j "$offset" -N 4 "$file" | tr -d ' ')
    [ "$signature" = 50450000 ] || return 1
    machine=$(od -An -tu2 -j $((offset + 4)) -N 2 "$file" | tr -d ' ')
    flags=$(od -An -tu2 -j $((offset + 22)) -N 2 "$file" | tr -d ' ')
    [ -n "$flags" ] && [ $((flags & 0x2000)) != 0 ] || return 1
    case $machine in
        34404) echo x64 ;;   # IMAGE_FILE_MACHINE_AMD64
        332) echo x86 ;;     # IMAGE_FILE_MACHINE_I386
        *) return 1 ;;
    esac
}

window=0
if [ "${1:-}" = --window ]; then
    window=1
    shift
    if [ -z "${DISPLAY:-}" ]; then
        echo "run: --window needs a desktop (DISPLAY is not set); in a terminal, play without it: bash scripts/run.sh" >&2
        exit 1
    fi
fi

module=""
arch=x64
if [ "${1:-}" = --module ]; then
    if [ $# -lt 2 ]; then
        echo "run: --module needs the path of a game module (Umberdeep.dll)" >&2
        exit 1
    fi
    module=$2
    shift 2
    if ! arch=$(pe_dll_arch "$module"); then
        echo "run: $module is not a 32- or 64-bit x86 Windows DLL, so no host can load it as a game module" >&2
        exit 1
    fi
    module=$(cd "$(dirname "$module")" && pwd)/$(basename "$module")
fi

# Wine's console needs a terminal to draw in and read keys from. Without one,
# start the game in a tmux session and say how to reach it.
if [ "$window" = 0 ] && { ! [ -t 0 ] || ! [ -t 1 ]; }; then
    echo "run: the game needs a terminal (standard input and output are not one)." >&2
    if command -v tmux >/dev/null 2>&1 && [ -z "${UMBERDEEP_NO_TMUX:-}" ]; then
        session=${UMBERDEEP_TMUX_SESSION:-umberdeep}
        if tmux has-session -t "=$session" 2>/dev/null; then
            echo "run: tmux session '$session' is already running; attach with: tmux attach -t $session" >&2
        else
            tmux new-session -d -s "$session" -x 80 -y 25 "bash $(printf '%q' "$ROOT/scripts/run.sh") $(printf '%q ' "${all_args[@]}")"
            echo "run: started it in tmux session '$session'; attach with: tmux attach -t $session" >&2
        fi
        exit 0
    fi
    echo "run: open a terminal and run: bash scripts/run.sh" >&2
    exit 1
fi

if [ "$arch" = x86 ]; then scripts/deps.sh run32; else scripts/deps.sh run; fi
. scripts/wine_loader.sh
export WINEPREFIX=${UMBERDEEP_WINEPREFIX:-$ROOT/build/wine-prefix}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
wine_choose_loader "$ROOT/build/wine-bin"
wine_run=()
if [ "$arch" = x86 ]; then
    i386_support
    case $I386_RUN in
        none) echo "run: the i686 host cannot run here: $I386_WHY" >&2; exit 1 ;;
        emulated) echo "run: this kernel cannot run 32-bit programs; running the i686 host under qemu-i386" >&2
                  wine_run=(in_i386_namespace) ;;
    esac
fi

build=build/windows-$arch
echo "run: building the host${module:+ for $(basename "$module")}${module:- and the demo}" >&2
cmake --preset "windows-$arch" >/dev/null
if [ -n "$module" ]; then
    cmake --build --preset "windows-$arch" -j "$(nproc)" --target UmberdeepSafeMode >/dev/null
    # The host finds the module beside itself; a folder of its own leaves the
    # build tree's demo alone. The module's own folder is searched for the DLLs
    # it needs.
    play=$ROOT/build/play-$arch
    mkdir -p "$play"
    cp "$build/UmberdeepSafeMode.exe" "$play/"
    cp "$module" "$play/Umberdeep.dll"
    export WINEPATH="Z:$(dirname "$module" | tr / '\\')"
else
    cmake --build --preset "windows-$arch" -j "$(nproc)" --target UmberdeepSafeMode umberdeep_demo >/dev/null
    play=$ROOT/$build
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run: first start: setting up a Wine prefix in ${WINEPREFIX#"$ROOT"/} (this takes a while once; later starts are quick)" >&2
fi
wine_prefix_init

cd "$play"
status=0
if [ "$window" = 1 ]; then
    "${wine_run[@]}" wine wineconsole UmberdeepSafeMode.exe "$@" || status=$?
else
    columns=$(stty size 2>/dev/null | cut -d' ' -f2)
    rows=$(stty size 2>/dev/null | cut -d' ' -f1)
    if [ "${columns:-80}" -lt 80 ] || [ "${rows:-25}" -lt 25 ]; then
        echo "run: this terminal is ${columns}x${rows}; the game draws 80x25 and will be cut off" >&2
        sleep 2
    fi

    # Whatever happens to the game, give the terminal back as it was: its
    # modes, plain colours, a visible cursor and a clear screen.
    saved_modes=$(stty -g)
    restore_terminal() {
        stty "$saved_modes" 2>/dev/null || true
        printf '\033[0m\033[?25h\033[H\033[2J'
    }
    trap restore_terminal EXIT
    "${wine_run[@]}" wine UmberdeepSafeMode.exe "$@" || status=$?
    restore_terminal
    trap - EXIT
fi
echo "run: the game ended with status $status" >&2
exit "$status"
