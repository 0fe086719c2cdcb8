# Sourced: the ways docs/writing-modules.md gives to build the examples of
# docs/examples (hello_module.c, and in C++ hello_module.cpp) against a kit. One a
# line of KIT_WAYS: "WAY|HOSTS|WHERE THE MODULE COMES OUT|COMMAND; COMMAND...",
# TRIPLE and ARCH the host's (x86_64 or i686, x64 or x86), KIT the kit's prefix;
# the -cpp ways build the C++ module, msvc-mrtd the C one with stdcall by default.
#   kit_ways ARCH             the ways for the host of ARCH; kit_triple ARCH, its triple's CPU
#   kit_way_lines WAY ARCH    the commands of WAY for the host of ARCH, one a line
#   kit_way_build WAY ARCH KIT DIR   builds the examples the WAY way in DIR
#   kit_foreign_imports DLL   the DLLs that DLL imports beyond the host, KERNEL32, USER32 and msvcrt

cmake_way="cmake -S . -B build -DCMAKE_PREFIX_PATH=KIT -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=TRIPLE-w64-mingw32-gcc -DCMAKE_CXX_COMPILER=TRIPLE-w64-mingw32-g++; cmake --build build"
msvc_link="lld-link /dll /noentry /nodefaultlib /machine:ARCH /out:Umberdeep.dll hello_module.obj KIT/lib/ARCH/UmberdeepSafeMode.lib"
KIT_WAYS="mingw|x64 x86|Umberdeep.dll|TRIPLE-w64-mingw32-gcc -shared -O2 -static-libgcc -I KIT/include -o Umberdeep.dll hello_module.c -L KIT/lib/ARCH -lUmberdeepSafeMode
cmake|x64 x86|build/c/Umberdeep.dll|$cmake_way
msvc|x64 x86|Umberdeep.dll|clang --target=TRIPLE-pc-windows-msvc -ffreestanding -I KIT/include -c hello_module.c -o hello_module.obj; $msvc_link
mingw-cpp|x64 x86|Umberdeep.dll|TRIPLE-w64-mingw32-g++ -shared -O2 -static-libgcc -static-libstdc++ -I KIT/include -o Umberdeep.dll hello_module.cpp -L KIT/lib/ARCH -lUmberdeepSafeMode
cmake-cpp|x64 x86|build/cpp/Umberdeep.dll|$cmake_way
msvc-cpp|x64 x86|Umberdeep.dll|clang++ --target=TRIPLE-pc-windows-msvc -ffreestanding -fno-exceptions -fno-rtti -I KIT/include -c hello_module.cpp -o hello_module.obj; $msvc_link
msvc-mrtd|x86|Umberdeep.dll|clang --target=TRIPLE-pc-windows-msvc -mrtd -ffreestanding -I KIT/include -c hello_module.c -o hello_module.obj; $msvc_link"

kit_triple() { if [ "$1" = x86 ]; then echo i686; else echo x86_64; fi; }
kit_ways() { awk -F'|' -v arch="$1" 'index(" " $2 " ", " " arch " ") { print $1 }' <<<"$KIT_WAYS"; }
kit_way_field() { awk -F'|' -v way="$1" -v n="$2" '$1 == way { print $n }' <<<"$KIT_WAYS"; }
kit_way_lines() { kit_way_field "$1" 4 | sed "s/; /\n/g; s/TRIPLE/$(kit_triple "$2")/g; s/ARCH/$2/g"; }
kit_foreign_imports() {
    x86_64-w64-mingw32-objdump -p "$1" | awk '/^\tDLL Name: / { print $NF }' |
        grep -vixE 'kernel32\.dll|user32\.dll|msvcrt\.dll|UmberdeepSafeMode\.exe' | paste -sd ' ' -
}
# kit_way_build WAY ARCH KIT DIR: runs the commands of WAY on the example files in
# DIR, leaving the module as DIR/Umberdeep.dll, the output in DIR/build.log;
# nonzero when a command failed.
kit_way_build() {
    local kit examples module
    kit=$(printf '%q' "$3")
    examples=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../docs/examples" && pwd)
    cp "$examples/hello_module.c" "$examples/hello_module.cpp" "$examples/CMakeLists.txt" "$4/" || return 1
    (cd "$4" && kit_way_lines "$1" "$2" | while IFS= read -r line; do
        eval "${line//KIT/$kit}" || exit 1; done) >"$4/build.log" 2>&1 || return 1
    module=$(kit_way_field "$1" 3)
    [ "$module" = Umberdeep.dll ] || mv "$4/$module" "$4/Umberdeep.dll"
}
