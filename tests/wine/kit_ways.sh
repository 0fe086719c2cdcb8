# Sourced: the ways a module author builds docs/examples/hello_module.c against
# an installed kit, as the README gives them.
#
#   KIT_WAYS                    mingw, cmake, msvc
#   kit_way_lines WAY ARCH      the commands of one way for the host of ARCH
#                               (x64|x86), one a line, to run in a folder holding
#                               the example files; KIT stands for the kit's
#                               prefix; the module comes out as Umberdeep.dll
#                               or build/Umberdeep.dll

KIT_WAYS="mingw cmake msvc"

kit_way_lines() {
    local triple=x86_64
    [ "$2" = x86 ] && triple=i686
    case $1 in
        mingw)
            echo "$triple-w64-mingw32-gcc -shared -O2 -static-libgcc -I KIT/include -o Umberdeep.dll hello_module.c -L KIT/lib/$2 -lUmberdeepSafeMode" ;;
        cmake)
            echo "cmake -S . -B build -DCMAKE_PREFIX_PATH=KIT -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=$triple-w64-mingw32-gcc"
            echo "cmake --build build" ;;
        msvc)
            echo "clang --target=$triple-pc-windows-msvc -ffreestanding -I KIT/include -c hello_module.c -o hello_module.obj"
            echo "lld-link /dll /noentry /nodefaultlib /machine:$2 /out:Umberdeep.dll hello_module.obj KIT/lib/$2/UmberdeepSafeMode.lib" ;;
    esac
}

# kit_way_build WAY ARCH KIT DIR: copies the example files into DIR, runs the
# commands of WAY there with KIT for the kit's prefix, and leaves the module as
# DIR/Umberdeep.dll. Their output goes to DIR/build.log; the status is nonzero
# when a command failed.
kit_way_build() {
    local kit examples
    kit=$(printf '%q' "$3")
    examples=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../docs/examples" && pwd)
    cp "$examples/hello_module.c" "$examples/CMakeLists.txt" "$4/" || return 1
    (cd "$4" && kit_way_lines "$1" "$2" | while IFS= read -r line; do
        eval "${line//KIT/$kit}" || exit 1; done) >"$4/build.log" 2>&1 || return 1
    [ -f "$4/build/Umberdeep.dll" ] && mv "$4/build/Umberdeep.dll" "$4/"
    return 0
}
