#!/usr/bin/env bash
# The host executables' boundary as the loader sees it: the export table holds
# exactly the ten os_ services by name (nothing more, no ordinal-only entries),
# and the import table names only system DLLs; the version resource a player
# sees states the version the header states; the executable stays small. Prints PASS:/FAIL: lines.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
. "$ROOT/tests/verdict.sh"

EXPECTED_EXPORTS="os_display_title os_fade os_get_input os_init os_pause os_put_font os_put_tile os_sound os_update_client os_zoom"
ALLOWED_IMPORTS="KERNEL32.dll msvcrt.dll USER32.dll"
HEADER_VERSION=$(sed -nE 's/^#define UMBERDEEP_OS_SERVICES_VERSION "(.*)"$/\1/p' \
                 "$ROOT/console/os_services.h")

# exported_names DUMP: the names of the "[Ordinal/Name Pointer] Table", sorted.
exported_names() {
    awk '/^\[Ordinal\/Name Pointer\] Table/ {inside = 1; next}
         inside && /^[[:space:]]*\[ *[0-9]+\]/ {print $NF; next}
         inside {exit}' "$1" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

# address_table_size DUMP: how many entries the export address table has.
address_table_size() {
    awk '/^Export Address Table -- / {inside = 1; next}
         inside && /^[[:space:]]*\[ *[0-9]+\]/ {n++; next}
         inside {exit}
         END {print n + 0}' "$1"
}

for ARCH in x64 x86; do
    if [ "$ARCH" = x64 ]; then triple=x86_64-w64-mingw32; else triple=i686-w64-mingw32; fi
    objdump=$triple-objdump
    exe=$BUILD_ROOT/windows-$ARCH/UmberdeepSafeMode.exe
    if [ ! -f "$exe" ]; then
        fail "export and import tables" "no $exe"
        continue
    fi
    dump=$(mktemp)
    if ! "$objdump" -p "$exe" >"$dump" 2>&1; then
        fail "export and import tables" "$objdump -p failed: $(head -n 3 "$dump")"
        rm -f "$dump"
        continue
    fi

    check "exports: exactly the ten services by name" "$EXPECTED_EXPORTS" "$(exported_names "$dump")"
    check "exports: no entry without a name" 10 "$(address_table_size "$dump")"
    check "exports: the table is named after the host" "UmberdeepSafeMode.exe" \
        "$(awk '/^Name[[:space:]]/ {print $NF; exit}' "$dump")"

    imports=$(awk '/DLL Name:/ {print $NF}' "$dump" | LC_ALL=C sort -u | tr '\n' ' ' | sed 's/ $//')
    case " $imports " in
        *" KERNEL32.dll "*) pass "imports: KERNEL32.dll" ;;
        *) fail "imports: KERNEL32.dll" "not imported; imports are <$imports>" ;;
    esac
    unexpected=""
    for dll in $imports; do
        case " $ALLOWED_IMPORTS " in
            *" $dll "*) ;;
            *) unexpected+=" $dll" ;;
        esac
    done
    check "imports: only system DLLs ($ALLOWED_IMPORTS)" "" "${unexpected# }"
    rm -f "$dump"

    size=$(stat -c %s "$exe")
    check "size: the stripped executable is at most 64 KiB ($size bytes)" yes "$([ "$size" -le 65536 ] && echo yes || echo no)"

    # windres reads the resources back as a resource script.
    script=$("$triple-windres" -i "$exe" -O rc 2>&1)
    rc_string() { echo "$script" | sed -nE "s/^ *VALUE \"$1\", \"(.*)\"\$/\1/p"; }
    check "version: the header states one (UMBERDEEP_OS_SERVICES_VERSION)" 1 \
        "$(echo "$HEADER_VERSION" | grep -cE '^[0-9]+\.[0-9]+\.[0-9]+$')"
    check "version: ProductName" UmberdeepSafeMode "$(rc_string ProductName)"
    check "version: ProductVersion is the header's" "$HEADER_VERSION" "$(rc_string ProductVersion)"
    check "version: FileVersion is the header's" "$HEADER_VERSION" "$(rc_string FileVersion)"
    check "version: FILEVERSION is the header's" "$HEADER_VERSION.0" \
        "$(echo "$script" | sed -nE 's/^ *FILEVERSION ([0-9]+), ([0-9]+), ([0-9]+), ([0-9]+)$/\1.\2.\3.\4/p')"
done
