# Sourced: picks a Wine loader that this machine can actually execute.
#
# Debian's "wine" command starts the 32-bit loader whenever wine32 is
# installed, and that loader starts 64-bit programs through wine64. A kernel
# built without 32-bit support (no IA32 emulation) refuses the 32-bit loader
# with "Exec format error", which would stop even the x86_64 host. Then
# wine_choose_loader puts a "wine" that goes straight to wine64 first on PATH.
#
#   wine_choose_loader BIN_DIR   sets WINE_RUNS_32BIT=1 or 0; may export PATH
#                                and WINELOADER

wine_choose_loader() {
    local bin_dir=$1 loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64
    WINE_RUNS_32BIT=1
    if [ -x "$loader32" ] && "$loader32" --version >/dev/null 2>&1; then
        export WINE_RUNS_32BIT
        return 0
    fi
    WINE_RUNS_32BIT=0
    export WINE_RUNS_32BIT
    [ -x "$loader64" ] || return 0
    mkdir -p "$bin_dir"
    local name
    for name in wine wine-stable; do
        printf '#!/bin/sh\nexec %s "$@"\n' "$loader64" >"$bin_dir/$name"
        chmod +x "$bin_dir/$name"
    done
    export WINELOADER=$loader64
    case ":$PATH:" in *":$bin_dir:"*) ;; *) export PATH="$bin_dir:$PATH" ;; esac
}
