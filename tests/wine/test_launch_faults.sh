#!/usr/bin/env bash
# A file named Umberdeep.dll that cannot be loaded: each gives exactly one
# "main: LoadLibrary failed" box, status 1 after it is dismissed, and a
# terminal left as it was (same title, cursor and alternate-screen state, no
# text written).
set -u
cd "$(dirname "$0")"
LAUNCH_BOX_HELPERS_ONLY=1 . ./test_launch.sh
# Four checks for each of six faults, two more for "refuses", one for "other_bitness".
plan 27
wine_bench_start
at_exit wine_bench_stop

if [ "$ARCH" = x64 ]; then OTHER_ARCH=x86; else OTHER_ARCH=x64; fi

# faulty_run NAME: a run folder whose Umberdeep.dll is broken in the named way.
faulty_run() {
    local dir
    case "$1" in
        refuses)
            dir=$(new_run_dir launch_refuses) ;;
        garbage)
            dir=$(new_run_dir -)
            # Deterministic bytes with no MZ header.
            for i in $(seq 64); do printf 'not a module %04d\n' "$i"; done >"$dir/Umberdeep.dll" ;;
        mz_garbage)
            dir=$(new_run_dir -)
            { printf 'MZ'; head -c 4094 /dev/zero | tr '\0' '\377'; } >"$dir/Umberdeep.dll" ;;
        truncated)
            dir=$(new_run_dir -)
            head -c 1024 "$BUILD_DIR/modules/foundation.dll" >"$dir/Umberdeep.dll" ;;
        empty)
            dir=$(new_run_dir -)
            : >"$dir/Umberdeep.dll" ;;
        other_bitness)
            dir=$(new_run_dir -)
            cp "$BUILD_ROOT/windows-$OTHER_ARCH/modules/foundation.dll" "$dir/Umberdeep.dll" ;;
    esac
    echo "$dir"
}

for fault in refuses garbage mz_garbage truncated empty other_bitness; do
    if [ "$fault" = other_bitness ] && [ ! -f "$BUILD_ROOT/windows-$OTHER_ARCH/modules/foundation.dll" ]; then
        fail "$fault" "no $OTHER_ARCH build of the test modules under $BUILD_ROOT"
        continue
    fi
    dir=$(faulty_run "$fault")
    run_boxed "$dir" 20 0
    check_one_box "$fault" "main: LoadLibrary failed"
    if [ "$fault" = refuses ]; then
        # The file is a loadable DLL with a dll_main; its own initialisation
        # said no, and the entry was never reached.
        check "$fault: its DllMain refused" attach_refused "$(grep -m1 '^attach_refused' "$dir/probe.out" 2>/dev/null)"
        check "$fault: entry never called" 0 "$(grep -c '^entry_called' "$dir/probe.out" 2>/dev/null)"
    fi
    if [ "$fault" = other_bitness ]; then
        # The same module of this host's bitness loads: the fault is the bitness.
        dir=$(new_run_dir foundation)
        run_host "$dir" 20 return7
        check "$fault: the same module of this bitness runs" 7 "$HOST_STATUS"
    fi
done
