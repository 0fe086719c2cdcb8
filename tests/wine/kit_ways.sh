# Sourced: the ways a module author builds the examples of docs/examples
# (hello_module.c, and hello_module.cpp, the same module in C++) against an
# installed kit, as docs/writing-modules.md gives them.
#
#   kit_ways ARCH               the ways for the host of ARCH (x64|x86): mingw,
#                               cmake and msvc build the C module, mingw-cpp,
#                               cmake-cpp and msvc-cpp the C++ one; for x86 also
#                               msvc-mrtd, the C module with stdcall as the
#                               compiler's default
#   kit_way_lines WAY ARCH      the commands of one way for the host of ARCH, one
#                               a line, to run in a folder holding the example
#                               files; KIT stands for the kit's prefix
#   kit_way_module WAY          where the module of WAY comes out
#   kit_foreign_imports DLL     the DLLs that DLL imports beyond the host and
#                               the system's KERNEL32, USER32 and msvcrt

kit_ways() {
    echo mingw cmake msvc mingw-cpp cmake-cpp msvc-cpp
    [ "$1" = x86 ] && echo msvc-mrtd
    return 0
}

kit_way_lines() {
    local triple=x86_64
    [ "$2" = x86 ] && triple=i686
    local msvc_link="lld-link /dll /noentry /nodefaultlib /machine:$2 /out:Umberdeep.dll hello_module.obj KIT/lib/$2/UmberdeepSafeMode.lib"
    case $1 in
        mingw)
            echo "$triple-w64-mingw32-gcc -shared -O2 -static-libgcc -I KIT/include -o Umberdeep.dll hello_module.c -L KIT/lib/$2 -lUmberdeepSafeMode" ;;
        cmake | cmake-cpp)
            echo "cmake -S . -B build -DCMAKE_PREFIX_PATH=KIT -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=$triple-w64-mingw32-gcc -DCMAKE_CXX_COMPILER=$triple-w64-mingw32-g++"
            echo "cmake --build build" ;;
        msvc)
            echo "clang --target=$triple-pc-windows-msvc -ffreestanding -I KIT/include -c hello_module.c -o hello_module.obj"
            echo "$msvc_link" ;;
        mingw-cpp)
            echo "$triple-w64-mingw32-g++ -shared -O2 -static-libgcc -static-libstdc++ -I KIT/include -o Umberdeep.dll hello_module.cpp -L KIT/lib/$2 -lUmberdeepSafeMode" ;;
        msvc-cpp)
            echo "clang++ --target=$triple-pc-windows-msvc -ffreestanding -fno-exceptions -fno-rtti -I KIT/include -c hello_module.cpp -o hello_module.obj"
            echo "$msvc_link" ;;
        msvc-mrtd)
            echo "clang --target=$triple-pc-windows-msvc -mrtd -ffreestanding -I KIT/include -c hello_module.c -o hello_module.obj"
            echo "$msvc_link" ;;
    esac
}

kit_way_module() {
    case $1 in
        cmake) echo build/c/Umberdeep.dll ;;
        cmake-cpp) echo build/cpp/Umberdeep.dll ;;
        *) echo Umberdeep.dll ;;
    esac
}

kit_foreign_imports() {
    x86_64-w64-mingw32-objdump -p "$1" | awk '/^\tDLL Name: / { print $NF }' |
        grep -vixE 'kernel32\.dll|user32\.dll|msvcrt\.dll|UmberdeepSafeMode\.exe' | paste -sd ' ' -
}

# kit_way_build WAY ARCH KIT DIR: copies the example files into DIR, runs the
# commands of WAY there with KIT for the kit's prefix, and leaves the module as
# DIR/Umberdeep.dll. Their output goes to DIR/build.log; the status is nonzero
# when a command failed.
kit_way_build() {
    local kit examples module
    kit=$(printf '%q' "$3")
    examples=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../docs/examples" && pwd)
    cp "$examples/hello_module.c" "$examples/hello_module.cpp" "$examples/CMakeLists.txt" "$4/" || return 1
    (cd "$4" && kit_way_lines "$1" "$2" | while IFS= read -r line; do
        eval "${line//KIT/$kit}" || exit 1; done) >"$4/build.log" 2>&1 || return 1
    module=$(kit_way_module "$1")
    [ "$module" = Umberdeep.dll ] || mv "$4/$module" "$4/Umberdeep.dll"
}
