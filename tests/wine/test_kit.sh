#!/usr/bin/env bash
# The module author's kit, as "cmake --install" puts it into a prefix: the
# examples of docs/examples, built against it alone each way the guides give
# (kit_ways.sh), import no DLL a bare Windows lacks, load in the installed host,
# draw their cells and read a key.
set -u
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/kit_ways.sh"
wine_bench_start
at_exit wine_bench_stop
screen() { bench_tmux capture-pane -p -t "$HOST_PANE" 2>/dev/null; }

EXAMPLES=$WINE_TESTS_ROOT/docs/examples
KIT=$(mktemp -d "$BENCH_DIR/kit.XXXXXX")
# The kit of the x86_64 host's run holds both hosts, as the guide installs it.
trees=$BUILD_DIR
[ "$ARCH" = x64 ] && trees+=" $BUILD_ROOT/windows-x86"
installed=0
for tree in $trees; do
    cmake --install "$tree" --prefix "$KIT" >>"$KIT/install.log" 2>&1 || installed=$?
done
check "kit: cmake --install succeeds" 0 "$installed"
check "kit: installs the host, the demo, both import libraries and the headers" "" "$(
    for file in "bin/$ARCH/UmberdeepSafeMode.exe" "bin/$ARCH/Umberdeep.dll" "lib/$ARCH/libUmberdeepSafeMode.dll.a" \
                "lib/$ARCH/UmberdeepSafeMode.lib" include/os_services.h include/os_screen.h; do
        [ -f "$KIT/$file" ] || echo "no $file"; done)"
PKG_CONFIG_PATH=$KIT/lib/$ARCH/pkgconfig pkg-config --cflags --libs UmberdeepSafeMode >"$KIT/pc.txt" 2>&1
check "kit: pkg-config names the kit's header folder and $ARCH import library" \
    "-I$KIT/lib/$ARCH/pkgconfig/../../../include -L$KIT/lib/$ARCH/pkgconfig/../../../lib/$ARCH -lUmberdeepSafeMode" \
    "$(sed 's/ *$//' "$KIT/pc.txt")"
# The module guide shows the example files as they are.
guide=$WINE_TESTS_ROOT/docs/writing-modules.md
check "kit: docs/writing-modules.md shows each file of docs/examples as it is" "" "$(
    for example in hello_module.c hello_module.cpp CMakeLists.txt; do
        python3 -c 'import sys; sys.exit(open(sys.argv[1]).read() not in open(sys.argv[2]).read())' \
            "$EXAMPLES/$example" "$guide" || echo "$example differs"; done)"
# The installed headers compile without a warning in C89, C17, C23's drafts
# (-std=c2x) and C++: the inert services take any arguments, the back buffer is C89.
triple=$(kit_triple "$ARCH")
printf '%s\n' '#include <os_screen.h>' 'static os_screen s;' \
    'int f(void) { int failed; os_sound(1, 2); os_zoom(); os_screen_init(&s); os_screen_text(&s, "x", 7, 0, 0);' \
    '    return os_screen_flush(&s, &failed); }' >"$KIT/any.c"
strict="-Wall -Wextra -pedantic -Werror -fsyntax-only -I $KIT/include $KIT/any.c"
check "kit: os_sound(1, 2) and os_screen.h compile in C89, C17, C2x and C++ with no warning" "" "$(
    for std in c89 c17 c2x; do
        for compiler in "$triple-w64-mingw32-gcc" "clang --target=$triple-pc-windows-msvc -ffreestanding"; do
            $compiler -std=$std $strict >/dev/null 2>&1 || echo "<$compiler -std=$std>"
        done; done
    for compiler in "$triple-w64-mingw32-g++" "clang++ --target=$triple-pc-windows-msvc -ffreestanding"; do
        $compiler -x c++ $strict >/dev/null 2>&1 || echo "<$compiler>"
    done)"
# The ways the release's WRITING-MODULES.txt gives too.
TEXT_WAYS="mingw mingw-cpp cmake cmake-cpp msvc"
text=$WINE_TESTS_ROOT/docs/release/WRITING-MODULES.txt
# build_way WAY ARCH: builds the example the WAY way for the ARCH host in a fresh
# folder, WAY_DIR; checks it builds, and imports no DLL a bare Windows lacks.
build_way() {
    WAY_DIR=$(mktemp -d "$BENCH_DIR/run.XXXXXX")
    kit_way_build "$1" "$2" "$KIT" "$WAY_DIR"
    check "kit: the example builds the $1 way for the $2 host" 0 "$?"
    check "kit: the $1 module for the $2 host imports only the host, KERNEL32, USER32 and msvcrt" "" \
        "$(kit_foreign_imports "$WAY_DIR/Umberdeep.dll" 2>&1)"
}

for way in $(kit_ways "$ARCH"); do
    # The guides give mingw for each host, msvc-mrtd for i686, the others for x86_64.
    case $way in mingw) guide_arch=$ARCH ;; msvc-mrtd) guide_arch=x86 ;; *) guide_arch=x64 ;; esac
    guides=$guide
    case " $TEXT_WAYS " in *" $way "*) guides+=" $text" ;; esac
    check "kit: the guides give the $way lines for the $guide_arch host" "" "$(for file in $guides; do
        kit_way_lines "$way" "$guide_arch" | while IFS= read -r line; do
            grep -qF -- "$line" "$file" || echo "$(basename "$file"): $line"; done; done)"
    # Built against the installed kit only, run in the installed host.
    build_way "$way" "$ARCH"
    cp "$KIT/bin/$ARCH/UmberdeepSafeMode.exe" "$WAY_DIR/"
    run_host_start "$WAY_DIR" 30
    see "kit: the $way module's cells show in the installed host" "Hello from a game module. Press a key."
    bench_tmux send-keys -t "$HOST_PANE" k
    run_host_wait "$WAY_DIR" 30
    check "kit: the $way module read the key (exit status is its character, 107)" 107 "$HOST_STATUS"
done

[ "$ARCH" = x64 ] || exit 0
for way in mingw-cpp cmake-cpp; do build_way "$way" x86; done
# A mingw-w64 compiler without -DCMAKE_SYSTEM_NAME=Windows builds for Linux: the
# package says so and how to cross-build.
dir=$(mktemp -d "$BENCH_DIR/run.XXXXXX")
cp "$EXAMPLES/hello_module.c" "$EXAMPLES/hello_module.cpp" "$EXAMPLES/CMakeLists.txt" "$dir/"
cmake -S "$dir" -B "$dir/build" -DCMAKE_PREFIX_PATH="$KIT" -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc \
    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ >"$dir/configure.log" 2>&1
check "kit: the CMake package, in a build for Linux, says it is not for Windows and names -DCMAKE_SYSTEM_NAME=Windows" \
    "1 1" "$? $(tr -s ' \n' ' ' <"$dir/configure.log" | grep -c "this build targets Linux, not Windows.*-DCMAKE_SYSTEM_NAME=Windows")"
