#!/usr/bin/env bash
# Builds the host and plays a game in this terminal under Wine: the demo with
# the x86_64 host, or with --module PATH a game module of either bitness with
# the host of its bitness. With --window the game gets Wine's console window on
# the desktop instead (wineconsole), where keys come from the keyboard as on
# Windows. The options come first, in any order; the first other argument, or
# everything after --, goes to the game. A module is looked at before anything
# starts, and each reason the host could not play it is said in one line. The
# game runs in the Wine prefix WINEPREFIX names, as every Wine program does, or
# else in build/wine-prefix, so only the first start is slow.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
caller=$(pwd)
all_args=("$@")
# The screen the game draws, in columns and rows.
GAME_COLUMNS=80 GAME_ROWS=25

# The Wine prefix, how to name it to the player, and how to pass the choice on
# (prefix_env, for env). Only this checkout's own is ever made anew; one that
# WINEPREFIX names gets nothing but what Wine does there.
if [ -n "${WINEPREFIX:-}" ]; then
    own_prefix=0 prefix_said="$WINEPREFIX (WINEPREFIX)" prefix_env=("WINEPREFIX=$WINEPREFIX")
else
    own_prefix=1 prefix_said="$ROOT/build/wine-prefix (its own: WINEPREFIX is not set)" prefix_env=(-u WINEPREFIX)
    WINEPREFIX=$ROOT/build/wine-prefix
fi

usage() {
    cat <<'USAGE'
usage: bash scripts/run.sh [--window] [--module PATH/TO/Umberdeep.dll] [--] [GAME ARGS...]
  Builds the host and plays the demo (or the module given) in this terminal under Wine.
  --window         play in a console window of its own on the desktop (needs DISPLAY)
  --module PATH    play this game module, 32- or 64-bit, in the host of its bitness
  --help           show this
  --               end the options: what follows goes to the game, even if it starts with -
  The game runs in the Wine prefix WINEPREFIX names, as every Wine program does, or,
  where WINEPREFIX is not set, in build/wine-prefix, set up on the first start.
USAGE
    echo "  This time that is $prefix_said."
}

# refuse STATUS MESSAGE: says why in one line and ends with STATUS.
refuse() {
    echo "run: $2" >&2
    exit "$1"
}

window=0
module=""
while [ $# -gt 0 ]; do
    case $1 in
        --help | -h) usage; exit 0 ;;
        --window) window=1; shift ;;
        --module)
            [ $# -ge 2 ] || refuse 2 "--module needs the path of a game module (Umberdeep.dll)"
            module=$2
            shift 2 ;;
        --) shift; break ;;
        -?*) refuse 2 "unknown option $1 (arguments for the game go after --); see: bash scripts/run.sh --help" ;;
        *) break ;;
    esac
done
if [ "$window" = 1 ] && [ -z "${DISPLAY:-}" ]; then
    refuse 1 "--window needs a desktop (DISPLAY is not set); in a terminal, play without it: bash scripts/run.sh"
fi

# pe_dll_machine FILE: prints the machine type of a Windows DLL, and fails for
# anything else. Reads the PE header: the offset of the "PE\0\0" signature at
# 0x3C, then the machine type and the characteristics' DLL bit.
pe_dll_machine() {
    local file=$1 offset signature machine flags
    [ "$(head -c 2 "$file")" = MZ ] || return 1
    offset=$(od -An -tu4 -j 60 -N 4 "$file" | tr -d ' ')
    [ -n "$offset" ] || return 1
    signature=$(od -An -tx1 -j "$offset" -N 4 "$file" | tr -d ' ')
    [ "$signature" = 50450000 ] || return 1
    machine=$(od -An -tu2 -j $((offset + 4)) -N 2 "$file" | tr -d ' ')
    flags=$(od -An -tu2 -j $((offset + 22)) -N 2 "$file" | tr -d ' ')
    [ -n "$flags" ] && [ $((flags & 0x2000)) != 0 ] || return 1
    echo "$machine"
}

# The folder of the DLLs Wine gives every program, as Windows does its own.
wine_dll_folder() {
    local folder
    for folder in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows \
                  /usr/lib64/wine/x86_64-windows /usr/local/lib/wine/x86_64-windows; do
        [ -d "$folder" ] && { echo "$folder"; return 0; }
    done
    return 1
}

# missing_imports DLL: prints the DLLs that DLL imports that are neither the
# host, nor Windows' own (Wine's, and the API sets), nor beside it. Wine also
# carries the Visual C++ runtimes (msvcp140, vcruntime140, msvcr120, ...),
# which a bare Windows lacks: those count only beside the module.
missing_imports() {
    local dll=$1 system name
    system=$(wine_dll_folder) || return 0
    x86_64-w64-mingw32-objdump -p "$dll" | awk '/^\tDLL Name: / { print $NF }' | while IFS= read -r name; do
        local folders=("$system" "$(dirname "$dll")")
        case ${name,,} in
            umberdeepsafemode.exe | api-ms-win-* | ext-ms-*) continue ;;
            msvcp[0-9]* | vcruntime* | msvcr[0-9]* | concrt* | vccorlib*) folders=("$(dirname "$dll")") ;;
        esac
        [ -n "$(find "${folders[@]}" -maxdepth 1 -iname "$name" -print -quit)" ] || echo "$name"
    done
}

# remedy DLL: what takes DLL out of a module's needs: the compiler's runtime
# links into the module, any other DLL goes beside it. Each flag here drops its
# DLL from the imports (mingw-w64's gcc 12, either thread model and bitness).
# For C++ only -static drops libwinpthread-1.dll: libstdc++ and libgcc call it
# too, and the compiler links them after the flags.
remedy() {
    case ${1,,} in
        libwinpthread-*.dll) echo "link it in with -Wl,-Bstatic -lpthread -Wl,-Bdynamic in place of -lpthread, or, for C++ too, with -static and the host's import library named as a file (libUmberdeepSafeMode.dll.a, not -lUmberdeepSafeMode)" ;;
        libgcc_s_*.dll) echo "link it in with -static-libgcc" ;;
        libstdc++-*.dll) echo "link it in with -static-libstdc++" ;;
        *) echo "put it beside the module" ;;
    esac
}

# remedies NAMES: "NAME: remedy" for each DLL named (one a line), in one line.
remedies() {
    local name
    while IFS= read -r name; do echo "$name: $(remedy "$name")"; done <<<"$1" |
        awk 'NR > 1 { printf "; " } { printf "%s", $0 }'
}

# exports DLL: the names the DLL exports, one a line.
exports() {
    x86_64-w64-mingw32-objdump -p "$1" | awk '
        /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
        table && /^\t\[/ { print $NF; next }
        { table = 0 }'
}

# check_module PATH: sets arch to the bitness of the game module at PATH, or
# says in one line why no host could play it and ends.
check_module() {
    local machine missing
    [ -e "$1" ] || refuse 1 "$1: no such file"
    [ -f "$1" ] && [ -r "$1" ] || refuse 1 "$1 is not a file this can read, so no host can load it as a game module"
    machine=$(pe_dll_machine "$1") ||
        refuse 1 "$1 is not a Windows DLL, so no host can load it as a game module"
    case $machine in
        34404) arch=x64 ;;   # IMAGE_FILE_MACHINE_AMD64
        332) arch=x86 ;;     # IMAGE_FILE_MACHINE_I386
        *) refuse 1 "$1 is a Windows DLL for another processor (machine type $(printf '0x%04x' "$machine")); the hosts load only 32- and 64-bit x86 modules" ;;
    esac
    # objdump comes with the mingw-w64 toolchain, Windows' own DLLs with Wine.
    "$ROOT/scripts/deps.sh" run
    exports "$1" | grep -x dll_main >/dev/null ||
        refuse 1 "$1 exports no dll_main, so the host would stop with \"main: GetProcAddress failed\"; define int dll_main(int argc, char **argv) with os_services.h included, which exports it"
    missing=$(missing_imports "$1")
    [ -z "$missing" ] ||
        refuse 1 "$1 needs $(paste -sd ' ' - <<<"$missing"), neither Windows' own nor beside it, so the host would stop with \"main: LoadLibrary failed\"; $(remedies "$missing")"
    # Only a module that passed every look is told where it plays.
    if [ "$arch" = x64 ]; then
        echo "run: $1 is a 64-bit game module; it plays in the x86_64 host" >&2
    else
        echo "run: $1 is a 32-bit game module; it plays in the i686 host" >&2
    fi
}

# warn_if_small: says in one line when the terminal is smaller than the game's
# screen, and leaves the player time to read it before the game takes the
# screen. A terminal whose size is not known (stty size says 0 0) is let be.
warn_if_small() {
    local rows columns
    read -r rows columns <<<"$(stty size 2>/dev/null)"
    [ "${rows:-0}" -gt 0 ] && [ "${columns:-0}" -gt 0 ] || return 0
    [ "$columns" -lt "$GAME_COLUMNS" ] || [ "$rows" -lt "$GAME_ROWS" ] || return 0
    echo "run: this terminal is $columns x $rows, smaller than the $GAME_COLUMNS x $GAME_ROWS the game draws: what lies beyond it will not show; make the terminal larger" >&2
    sleep 2
}

# report_status STATUS: how the game ended, and what a failing status means.
report_status() {
    echo "run: the game ended with status $1" >&2
    case $1 in
        0) ;;
        1) echo "run: status 1 is the game's own result, or the host could not start it: the module did not load (\"main: LoadLibrary failed\": its DllMain refused, or a DLL it needs is missing), it has no dll_main (\"main: GetProcAddress failed\"), or the console could not be set up; the host's message box saying which shows only on a desktop (DISPLAY)" >&2 ;;
        *) echo "run: status $1 is the game's own result, or what Linux keeps of it: the low 8 bits (status 300 shows as 44)" >&2 ;;
    esac
}

arch=x64
if [ -n "$module" ]; then
    check_module "$module"
    module=$(cd "$(dirname "$module")" && pwd)/$(basename "$module")
fi
cd "$ROOT"

if [ "$arch" = x86 ]; then scripts/deps.sh run32; else scripts/deps.sh run; fi
. scripts/lib/wine_loader.sh
case $WINEPREFIX in
    /*) export WINEPREFIX ;;
    *) refuse 1 "WINEPREFIX=$WINEPREFIX is not an absolute path, which Wine needs" ;;
esac
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
wine_choose_loader "$ROOT/build/wine-bin"
wine_run=()
if [ "$arch" = x86 ]; then
    i386_support
    [ "$I386_RUN" != none ] || refuse 1 "the i686 host cannot run here: $I386_WHY"
    [ "$I386_RUN" = emulated ] && echo "run: this kernel cannot run 32-bit programs; running the i686 host under qemu-i386" >&2
    [ "$I386_WINE" = root ] && echo "run: 32-bit Wine is $(i386_description)" >&2
    # The private root's Wine sees the module's folder, where the DLLs it needs stand.
    [ -n "$module" ] && export UMBERDEEP_ROOT_BINDS=$(dirname "$module")
    i386_runner
    wine_run=("${I386_RUNNER[@]}")
fi

# Wine's console needs a terminal to draw in and read keys from. Without one,
# start the game in a tmux session of the game's size, say how to reach it, and
# report its status once it ends. The session has no status line, which would
# take a row of the player's terminal from the game. Its command gets this
# prefix, not the one of the environment the tmux server started with.
if [ "$window" = 0 ] && { ! [ -t 0 ] || ! [ -t 1 ]; }; then
    echo "run: the game needs a terminal (standard input and output are not one)." >&2
    if command -v tmux >/dev/null 2>&1 && [ -z "${UMBERDEEP_NO_TMUX:-}" ]; then
        session=${UMBERDEEP_TMUX_SESSION:-umberdeep}
        if tmux has-session -t "=$session" 2>/dev/null; then
            refuse 1 "tmux session '$session' is already running; attach with: tmux attach -t $session"
        fi
        status_file=$(mktemp)
        tmux new-session -d -s "$session" -x "$GAME_COLUMNS" -y "$GAME_ROWS" -c "$caller" \
            "env $(printf '%q ' "${prefix_env[@]}")bash $(printf '%q' "$ROOT/scripts/run.sh") $(printf '%q ' "${all_args[@]}"); echo \$? >$(printf '%q' "$status_file")" \; \
            set-option status off
        echo "run: started it in tmux session '$session'; attach with: tmux attach -t $session (from a terminal of $GAME_COLUMNS x $GAME_ROWS or more)" >&2
        while tmux has-session -t "=$session" 2>/dev/null; do sleep 1; done
        status=$(cat "$status_file")
        rm -f "$status_file"
        [ -n "$status" ] || refuse 1 "tmux session '$session' was closed before the game ended"
        report_status "$status"
        exit "$status"
    fi
    refuse 1 "open a terminal and run: bash scripts/run.sh"
fi

build=build/windows-$arch
if [ -n "$module" ]; then
    echo "run: building the $arch host for $module" >&2
else
    echo "run: building the host and the demo" >&2
fi
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

echo "run: the Wine prefix is $prefix_said" >&2
if [ "$arch" = x86 ] && wine_prefix_lacks_i386; then
    [ "$own_prefix" = 1 ] ||
        refuse 1 "the Wine prefix $WINEPREFIX was made without 32-bit Wine and cannot get it later: set WINEPREFIX to a new folder, or unset it to play in build/wine-prefix"
    echo "run: the Wine prefix in ${WINEPREFIX#"$ROOT"/} was made without 32-bit Wine, which Wine cannot add later: making it anew" >&2
    rm -rf "$WINEPREFIX"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run: first start: setting up a Wine prefix in ${WINEPREFIX#"$ROOT"/} (this takes a while once; later starts are quick)" >&2
fi
wine_prefix_init
[ "$arch" = x86 ] && [ "$I386_WINE" = root ] && wineserver -w

cd "$play"
status=0
if [ "$window" = 1 ]; then
    # Wine's console window is 80 x 25 of its own, whatever terminal started it.
    "${wine_run[@]}" wine wineconsole UmberdeepSafeMode.exe "$@" || status=$?
else
    warn_if_small

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
# The root's Wine server ends before the machine's Wine may use the prefix again.
[ "$arch" = x86 ] && [ "$I386_WINE" = root ] && "${wine_run[@]}" wineserver -w
report_status "$status"
exit "$status"
