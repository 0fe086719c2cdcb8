#!/usr/bin/env bash
# The module author's kit: "cmake --install" puts this host, its import
# libraries, the CMake package, the demo and the header into a prefix;
# docs/examples/hello_module.c and its C++ twin hello_module.cpp, built against
# that prefix alone in each of the ways docs/writing-modules.md gives (mingw-w64 gcc and g++,
# CMake with find_package, clang and clang++ for the MSVC target with lld-link,
# and for 32 bits clang with stdcall as its default), load in the installed
# host, draw their cells and read a key.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/kit_ways.sh"
# 11 checks of the kit, then 4 for each way of building the example.
plan $((11 + 4 * $(kit_ways "$ARCH" | wc -w)))
wine_bench_start
at_exit wine_bench_stop

EXAMPLES=$WINE_TESTS_ROOT/docs/examples
KIT=$(mktemp -d "$BENCH_DIR/kit.XXXXXX")

cmake --install "$BUILD_DIR" --prefix "$KIT" >"$KIT/install.log" 2>&1
check "kit: cmake --install succeeds" 0 "$?"
for file in "bin/$ARCH/UmberdeepSafeMode.exe" "bin/$ARCH/Umberdeep.dll" \
            "lib/$ARCH/libUmberdeepSafeMode.dll.a" "lib/$ARCH/UmberdeepSafeMode.lib" include/os_services.h; do
    if [ -f "$KIT/$file" ]; then pass "kit: installs $file"; else fail "kit: installs $file" "missing"; fi
done
PKG_CONFIG_PATH=$KIT/lib/$ARCH/pkgconfig pkg-config --cflags --libs UmberdeepSafeMode >"$KIT/pc.txt" 2>&1
check "kit: pkg-config names the kit's header folder and $ARCH import library" \
    "-I$KIT/lib/$ARCH/pkgconfig/../../../include -L$KIT/lib/$ARCH/pkgconfig/../../../lib/$ARCH -lUmberdeepSafeMode" \
    "$(sed 's/ *$//' "$KIT/pc.txt")"

# The module guide shows the example files as they are.
guide=$WINE_TESTS_ROOT/docs/writing-modules.md
for example in hello_module.c hello_module.cpp CMakeLists.txt; do
    if python3 - "$EXAMPLES/$example" "$guide" <<'PY'
import sys
example = open(sys.argv[1]).read()
sys.exit(0 if example in open(sys.argv[2]).read() else 1)
PY
    then pass "kit: docs/writing-modules.md shows docs/examples/$example as it is"
    else fail "kit: docs/writing-modules.md shows docs/examples/$example as it is" "the guide and the file differ"; fi
done

# The installed header takes any arguments to the inert services in every C
# standard these compilers know, the drafts of C23 (-std=c2x) included.
triple=x86_64
[ "$ARCH" = x86 ] && triple=i686
printf '#include <os_services.h>\nvoid f(void) { os_sound(1, 2); os_zoom(); }\n' >"$KIT/any.c"
refused=""
for std in c89 c17 c2x; do
    for compiler in "$triple-w64-mingw32-gcc" "clang --target=$triple-pc-windows-msvc -ffreestanding"; do
        $compiler -std=$std -fsyntax-only -I "$KIT/include" "$KIT/any.c" >/dev/null 2>&1 ||
            refused+=" <$compiler -std=$std>"
    done
done
check "kit: os_sound(1, 2) compiles in C89, C17 and C2x" "" "${refused# }"

for way in $(kit_ways "$ARCH"); do
    # The guide gives the mingw line for each host, the msvc-mrtd lines for the
    # i686 host, the others for the x86_64 host (the i686 host's differ only in
    # the target names).
    guide_arch=x64
    [ "$way" = mingw ] && guide_arch=$ARCH
    [ "$way" = msvc-mrtd ] && guide_arch=x86
    missing=$(kit_way_lines "$way" "$guide_arch" | while IFS= read -r line; do
        grep -qF -- "$line" "$guide" || echo "$line"; done)
    check "kit: docs/writing-modules.md gives the $way lines for the $guide_arch host" "" "$missing"

    # Build it against the installed kit only, then run it in the installed host.
    dir=$(mktemp -d "$BENCH_DIR/run.XXXXXX")
    kit_way_build "$way" "$ARCH" "$KIT" "$dir"
    check "kit: the example builds the $way way" 0 "$?"
    cp "$KIT/bin/$ARCH/UmberdeepSafeMode.exe" "$dir/"
    run_host_start "$dir" 30
    window=$(host_window "$dir")
    drawn=0
    for i in $(seq 150); do
        tmux -L "$TMUX_SOCKET" capture-pane -p -t "$window" 2>/dev/null |
            grep -qF "Hello from a game module. Press a key." && { drawn=1; break; }
        sleep 0.2
    done
    check "kit: the $way module's cells show in the installed host" 1 "$drawn"
    tmux -L "$TMUX_SOCKET" send-keys -t "$window" k
    run_host_wait "$dir" 30
    check "kit: the $way module read the key (exit status is its character, 107)" 107 "$HOST_STATUS"
done
