#!/usr/bin/env bash
# The release archive: two clean builds in two time zones give the same bytes;
# it holds exactly the kit's files, sorted, its texts in CRLF, the build's
# executables and import libraries, which bind an lld-link module to the host's names.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$ROOT/tests/verdict.sh"
. "$ROOT/tests/wine/kit_ways.sh"
cd "$ROOT"  # where the presets are

WORK=$(mktemp -d /tmp/umberdeep-release.XXXXXX)
at_exit 'rm -rf "$WORK"'
VERSION=$(sed -nE 's/^#define UMBERDEEP_OS_SERVICES_VERSION "(.*)"$/\1/p' "$ROOT/console/os_services.h")
NAME=UmberdeepSafeMode-$VERSION-windows

EXPECTED_FILES="PLAYING.txt WRITING-MODULES.txt examples/CMakeLists.txt examples/hello_module.c
examples/hello_module.cpp include/os_screen.h include/os_services.h lib/UmberdeepSafeMode.def
lib/cmake/UmberdeepSafeMode/UmberdeepSafeModeConfig.cmake
lib/cmake/UmberdeepSafeMode/UmberdeepSafeModeConfigVersion.cmake"
for arch in x64 x86; do
    EXPECTED_FILES+=" bin/$arch/UmberdeepSafeMode.exe bin/$arch/Umberdeep.dll
lib/$arch/UmberdeepSafeMode.lib lib/$arch/libUmberdeepSafeMode.dll.a
lib/$arch/pkgconfig/UmberdeepSafeMode.pc selftest/$arch/UmberdeepSafeMode-selftest.exe
selftest/$arch/selftest-module.dll selftest/$arch/selftest-no-entry.dll"
done
# zip_entries ZIP: the archive's file entries in their order, one a line.
zip_entries() { python3 -c 'import sys, zipfile; print("\n".join(e.filename for e in zipfile.ZipFile(sys.argv[1]).infolist() if not e.is_dir()))' "$1"; }
# The texts a person opens on Windows: every line ends in CRLF.
TEXT_FILES="PLAYING.txt WRITING-MODULES.txt examples/CMakeLists.txt examples/hello_module.c
examples/hello_module.cpp"
# Each build makes only what the archive holds, to keep this check short.
ARCH=x64+x86
for build in one two; do
    for arch in x64 x86; do
        cmake --preset "windows-$arch" -B "$WORK/$build/windows-$arch" \
              -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >"$WORK/$build-$arch.log" 2>&1 &&
            cmake --build "$WORK/$build/windows-$arch" -j "$(nproc)" \
                  --target UmberdeepSafeMode msvc_import_library umberdeep_demo \
                          selftest_runner selftest_module selftest_no_entry >>"$WORK/$build-$arch.log" 2>&1 ||
            { tail -n 20 "$WORK/$build-$arch.log"; fail "release: build $build ($arch)" "see above"; exit 1; }
    done
    # The second one packs in another time zone, which must not show.
    zone=UTC
    [ "$build" = two ] && zone=Asia/Tokyo
    (cd "$WORK/$build" && TZ=$zone cpack --config windows-x64/CPackConfig.cmake >"$WORK/$build-cpack.log" 2>&1)
    check "release: cpack makes $NAME.zip (build $build)" yes \
        "$([ -f "$WORK/$build/release/$NAME.zip" ] && echo yes || cat "$WORK/$build-cpack.log")"
    mkdir -p "$WORK/$build/unpacked"
    (cd "$WORK/$build/unpacked" && python3 -m zipfile -e "../release/$NAME.zip" .)
done
ONE=$WORK/one/unpacked/$NAME
TWO=$WORK/two/unpacked/$NAME
check "release: the archive holds exactly the kit's files, in one folder $NAME" \
    "$(echo $EXPECTED_FILES | tr ' ' '\n' | sed "s|^|$NAME/|" | LC_ALL=C sort)" \
    "$(zip_entries "$WORK/one/release/$NAME.zip" | LC_ALL=C sort)"
check "release: the archive's entries come in sorted order" \
    "$(zip_entries "$WORK/one/release/$NAME.zip" | LC_ALL=C sort)" "$(zip_entries "$WORK/one/release/$NAME.zip")"
check "release: two clean builds give the same bytes in every file" "" \
    "$(for file in $EXPECTED_FILES; do cmp -s "$ONE/$file" "$TWO/$file" || echo "$file"; done)"
check "release: the texts end every line in CRLF" "" "$(for file in $TEXT_FILES; do
    python3 -c 'import sys; t = open(sys.argv[1], "rb").read(); sys.exit(not t.endswith(b"\r\n") or t.count(b"\n") != t.count(b"\r\n"))' \
        "$ONE/$file" || echo "$file"; done)"
check "release: two clean builds give the same archive (sha256)" \
    "$(sha256sum <"$WORK/one/release/$NAME.zip" | cut -d' ' -f1)" \
    "$(sha256sum <"$WORK/two/release/$NAME.zip" | cut -d' ' -f1)"
for arch in x64 x86; do
    ARCH=$arch
    check "release: its executable and import libraries for $arch are the ones the build made" "" "$(
        for place in bin/$arch/UmberdeepSafeMode.exe lib/$arch/UmberdeepSafeMode.lib lib/$arch/libUmberdeepSafeMode.dll.a; do
            cmp -s "$WORK/one/windows-$arch/${place##*/}" "$ONE/$place" || echo "$place differs or is missing"; done)"
    dir=$WORK/msvc-$arch
    mkdir -p "$dir"
    kit_way_build msvc "$arch" "$ONE" "$dir" || cat "$dir/build.log"
    check "release: a module linked with lld-link imports os_get_input os_init os_put_font from UmberdeepSafeMode.exe" \
        "UmberdeepSafeMode.exe os_get_input os_init os_put_font" \
        "$(x86_64-w64-mingw32-objdump -p "$dir/Umberdeep.dll" 2>&1 | awk '/DLL Name:/ {print $NF} /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print $NF}' | tr '\n' ' ' | sed 's/ $//')"
done
