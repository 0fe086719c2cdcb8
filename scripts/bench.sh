#!/usr/bin/env bash
# Benchmarks of the real host under Wine, for the x86_64 and the i686 host: each
# figure against the platform's own limit for the same work, measured in the
# same run. The services are timed by the self-test that ships
# (UmberdeepSafeMode-selftest.exe --bench, its module inside the real host); the
# cell write and the empty poll are measured again in Wine's console window
# (wineconsole), in columns of their own. The start-up is compared with the
# programs of bench/. Prints a table and writes it to $BUILD_ROOT/bench/results.md.
#
# usage: scripts/bench.sh [--quick] [--docs]
#   --quick    a tenth of every count, and 3 start-up rounds (to try it out)
#   --docs     also write the figures to docs/performance.md
# BUILD_ROOT   build trees to use (default: build/); built when needed
# BENCH_ARCHES hosts to measure (default: "x64 x86")
# BENCH_STARTS start-up rounds (default: 25; each starts all three programs once)
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
export BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
ARCHES=${BENCH_ARCHES:-x64 x86}
STARTS=${BENCH_STARTS:-25}
quick=0
docs=0
only_arch=""
while [ $# -gt 0 ]; do
    case "$1" in
        --quick) quick=1 ;;
        --docs) docs=1 ;;
        # Internal: measure one host in a bench already started (the i686 host
        # is measured this way inside the emulation namespace).
        --measure-in-bench) only_arch=$2; shift ;;
        *) echo "usage: scripts/bench.sh [--quick] [--docs]" >&2; exit 2 ;;
    esac
    shift
done
[ "$quick" = 1 ] && STARTS=${BENCH_STARTS:-3}
OUT_DIR=$BUILD_ROOT/bench
mkdir -p "$OUT_DIR"

[ -n "$only_arch" ] || scripts/deps.sh test >&2 || exit 1

triple_of() { [ "$1" = x64 ] && echo x86_64-w64-mingw32 || echo i686-w64-mingw32; }
name_of() { [ "$1" = x64 ] && echo x86_64 || echo i686; }

# --- build -----------------------------------------------------------------
[ -n "$only_arch" ] && ARCHES=""
for arch in $ARCHES; do
    dir=$BUILD_ROOT/windows-$arch
    echo "bench: building $dir" >&2
    { cmake --preset "windows-$arch" -B "$dir" >/dev/null &&
      cmake --build "$dir" -j "$(nproc)" --target UmberdeepSafeMode selftest_runner \
          selftest_module bench_startup bench_bare bench_launcher >/dev/null; } || {
        echo "bench: build of windows-$arch failed" >&2
        exit 1
    }
done

# --- run -------------------------------------------------------------------
. scripts/lib/wine_bench.sh
wine_bench_start
trap wine_bench_stop EXIT

# measure ARCH [window]: the self-test's bench, its module inside the real host:
# in a tmux pane, or with "window" in Wine's console window, where it times the
# cell write and the empty poll only. The self-test prints the figures as
# "  key=value" lines; services-NAME.txt keeps them as key=value, and its exit
# status (0 when the bench ran to its end).
measure() {
    local arch=$1 build=$BUILD_ROOT/windows-$1 dir name=$1
    dir=$(mktemp -d "$BENCH_DIR/measure-$arch.XXXXXX")
    mkdir "$dir/selftest"
    cp "$build/UmberdeepSafeMode.exe" "$dir/"
    cp "$build/selftest/UmberdeepSafeMode-selftest.exe" "$build/selftest/selftest-module.dll" "$dir/selftest/"
    local options=(--bench)
    [ "$quick" = 1 ] && options+=(--quick)
    if [ "${2:-}" = window ]; then
        name=window-$arch
        echo "bench: [$arch] cell write and poll in a console window" >&2
        # The console window is the program's console, standard output too: cmd
        # sends the self-test's to a file.
        printf '%s\r\n' "selftest\\UmberdeepSafeMode-selftest.exe ${options[*]} --window UmberdeepSafeMode.exe >bench.txt" \
            >"$dir/bench.bat"
        run_window_start "$dir" 600 cmd /c bench.bat
        run_host_wait "$dir" 600
    else
        echo "bench: [$arch] services (about $([ "$quick" = 1 ] && echo 10 || echo 90) s)" >&2
        HOST_PROGRAM="wine selftest/UmberdeepSafeMode-selftest.exe >bench.txt" \
            run_host "$dir" 600 "${options[@]}" UmberdeepSafeMode.exe
    fi
    sed -n 's/\r$//; s/^  \([a-z0-9_]*=\)/\1/p' "$dir/bench.txt" >"$OUT_DIR/services-$name.txt" 2>/dev/null
    echo "status=$HOST_STATUS" >>"$OUT_DIR/services-$name.txt"
}

# startup ARCH: the host, the plain launcher and the bare program, each started
# the same way from one shell in a tmux pane, in turns. Each line of the log:
# round, program, wall clock before "wine", at the first line and after "wine"
# returned, and the time from the process's creation to the first line (µs).
startup() {
    local arch=$1 build=$BUILD_ROOT/windows-$1 dir
    dir=$(mktemp -d "$BENCH_DIR/startup-$arch.XXXXXX")
    mkdir "$dir/host" "$dir/launcher" "$dir/bare"
    cp "$build/UmberdeepSafeMode.exe" "$build/bench/bench_startup.dll" "$dir/host/"
    mv "$dir/host/bench_startup.dll" "$dir/host/Umberdeep.dll"
    cp "$build/bench/bench_launcher.exe" "$dir/launcher/"
    cp "$build/bench/bench_startup.dll" "$dir/launcher/Umberdeep.dll"
    cp "$build/bench/bench_bare.exe" "$dir/bare/"
    cat >"$dir/run.sh" <<RUN
programs=(host:UmberdeepSafeMode.exe launcher:bench_launcher.exe bare:bench_bare.exe)
us() { echo "\${1/./}"; }
for round in \$(seq 0 $STARTS); do
    for k in 0 1 2; do
        entry=\${programs[(round + k) % 3]}
        cd "$dir/\${entry%%:*}" && rm -f startup.out
        before=\$EPOCHREALTIME
        timeout --foreground -k 5 60 wine "\${entry#*:}"
        after=\$EPOCHREALTIME
        read -r first since <startup.out || { first=0; since=-1; }
        echo "\$round \${entry%%:*} \$(us \$before) \$first \$(us \$after) \$since" >>"$dir/startup.log"
    done
done
echo 0 >"$dir/rc"
RUN
    echo "bench: [$arch] start-up, $STARTS rounds" >&2
    tmux_window "startup-$arch" "bash $dir/run.sh" >/dev/null
    run_host_wait "$dir" 600
    # Round 0 warms the caches up and is left out.
    awk '$1 > 0' "$dir/startup.log" >"$OUT_DIR/startup-$arch.txt"
}

# The tmux session run_host creates is also where the start-up runs go.
if [ -n "$only_arch" ]; then
    measure "$only_arch"
    measure "$only_arch" window
    startup "$only_arch"
    exit 0
fi
# A persistent server: every start below finds it running, as a player's would.
wineserver -p
note=""
measured=""
for arch in $ARCHES; do
    if [ "$arch" = x86 ]; then
        i386_support
        case $I386_RUN in
            none)
                note="The i686 host is left out: ${I386_WHY%.}."
                echo "bench: $note" >&2
                continue ;;
            emulated)
                # Its limits are 32-bit programs too, started the same way, so
                # each ratio compares like with like under the same emulation.
                note="The i686 host and its limits ran under qemu-i386 (user-mode emulation): this machine's kernel cannot run 32-bit programs." ;;
        esac
        [ "$I386_WINE" = root ] && note+="${note:+ }The i686 host ran on the 32-bit Wine of a private Debian root: the machine's package archive could not give wine32:i386."
        if [ -n "$note" ]; then
            echo "bench: $note" >&2
            in_i386_bench bash scripts/bench.sh --measure-in-bench x86 $([ "$quick" = 1 ] && echo --quick)
            [ "$I386_WINE" = root ] && wineserver -p  # in_i386_bench stopped it
            measured+=" $arch"
            continue
        fi
    fi
    measure "$arch"
    measure "$arch" window
    startup "$arch"
    measured+=" $arch"
done
ARCHES=${measured# }

# --- table -----------------------------------------------------------------
value() { grep -m1 "^$2=" "$OUT_DIR/services-$1.txt" 2>/dev/null | cut -d= -f2- | cut -d' ' -f1; }
# startup_stat ARCH PROGRAM WHAT median|min, in milliseconds. WHAT: first,
# from just before "wine" to the first line; whole, to the exit; inside, from
# the process's creation to the first line.
startup_stat() {
    awk -v p="$2" -v what="$3" '$2 == p && $4 > 0 {
            v = (what == "first" ? $4 - $3 : what == "whole" ? $5 - $3 : $6) / 1000; print v }' \
        "$OUT_DIR/startup-$1.txt" | sort -n |
        awk -v stat="$4" '{ v[NR] = $1 } END { if (NR == 0) print "?"; else if (stat == "min") printf "%.1f", v[1];
              else if (NR % 2) printf "%.1f", v[(NR + 1) / 2]; else printf "%.1f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# startup_paired ARCH PROGRAM OTHER WHAT: the median over the rounds of the
# ratio between the two programs' figures within a round (started back to back).
startup_paired() {
    awk -v p="$2" -v q="$3" -v what="$4" '$4 > 0 {
            v = (what == "first" ? $4 - $3 : what == "whole" ? $5 - $3 : $6)
            if ($2 == p) a[$1] = v; if ($2 == q) b[$1] = v }
        END { for (r in a) if ((r in b) && b[r] > 0) print a[r] / b[r] }' \
        "$OUT_DIR/startup-$1.txt" | sort -n |
        awk '{ v[NR] = $1 } END { if (NR == 0) print "?"; else if (NR % 2) printf "%.3f", v[(NR + 1) / 2];
              else printf "%.3f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 > 0 && a != "") printf "%.3f", a / b; else printf "?" }'; }
# cell HOST LIMIT [RATIO]: "host / limit / ratio"
cell() { local r=${3:-$(ratio "$1" "$2")}; echo "$1 / $2 / **$r**"; }

declare -A row
for arch in $ARCHES; do
    row[screen_$arch]=$(cell "$(value "$arch" screen_host_ms)" "$(value "$arch" screen_direct_ms)" "$(value "$arch" screen_ratio)")
    row[screenpair_$arch]=$(cell "$(value "$arch" screen_host_spread)" "$(value "$arch" screen_direct_spread)" "$(value "$arch" screen_pair_ratio)")
    row[onecall_$arch]="$(value "$arch" screen_one_call_ms)"
    row[backfull_$arch]=$(cell "$(value "$arch" back_buffer_screen_host_ms)" "$(value "$arch" back_buffer_screen_direct_ms)" "$(value "$arch" back_buffer_screen_ratio)")
    row[backfullspread_$arch]=$(cell "$(value "$arch" back_buffer_screen_host_spread)" "$(value "$arch" back_buffer_screen_direct_spread)" "$(value "$arch" back_buffer_screen_pair_ratio)")
    row[backframe_$arch]=$(cell "$(value "$arch" back_buffer_frame_host_mean)" "$(value "$arch" back_buffer_frame_direct_mean)" "$(value "$arch" back_buffer_frame_ratio)")
    row[unchanged_$arch]="$(value "$arch" unchanged_flush_us) µs, $(value "$arch" unchanged_flush_written) cells written"
    row[banner_$arch]=$(cell "$(value "$arch" banner_host_ms)" "$(value "$arch" banner_direct_ms)" "$(value "$arch" banner_ratio)")
    row[bannerspread_$arch]=$(cell "$(value "$arch" banner_host_spread)" "$(value "$arch" banner_direct_spread)" "$(value "$arch" banner_pair_ratio)")
    row[bannercells_$arch]=$(value "$arch" banner_cells)
    # The cell write and the poll, in the terminal and in the console window.
    for what in cell poll; do
        for side in "$arch:$arch" "window_$arch:window-$arch"; do
            key=${side%%:*} file=${side#*:}
            row[${what}_$key]=$(cell "$(value "$file" ${what}_host_mean)" "$(value "$file" ${what}_direct_mean)" \
                "$(value "$file" ${what}_ratio)")
            row[${what}med_$key]=$(cell "$(value "$file" ${what}_host_block_median)" \
                "$(value "$file" ${what}_direct_block_median)" "$(value "$file" ${what}_pair_ratio)")
        done
    done
    for clock in ticks qpc; do
        h=$(value "$arch" pause_host_$clock)
        s=$(value "$arch" pause_sleep_$clock)
        q=$(value "$arch" pause_query_$clock)
        row[pause${clock}_$arch]=$(cell "$h" "$s" "$(value "$arch" pause_sleep_${clock}_ratio)")
        row[pauseq${clock}_$arch]=$(cell "$h" "$q" "$(value "$arch" pause_query_${clock}_ratio)")
        row[alone${clock}_$arch]=$(value "$arch" pause_alone_$clock)
    done
    row[returned_$arch]=$(value "$arch" pause_host_returned)
    row[longer_$arch]="$(value "$arch" pause_longer_than_returned) of $(value "$arch" pause_count)"
    row[reads39_$arch]=$(value "$arch" pause_tick_40_reads_39)
    for what in first inside; do
        for stat in median min; do
            hf=$(startup_stat "$arch" host $what $stat)
            lf=$(startup_stat "$arch" launcher $what $stat)
            bf=$(startup_stat "$arch" bare $what $stat)
            row[${what}bare${stat}_$arch]=$(cell "$hf" "$bf")
            row[${what}launch${stat}_$arch]=$(cell "$hf" "$lf")
            row[${what}launchbare${stat}_$arch]=$(cell "$lf" "$bf")
        done
        row[${what}barepair_$arch]="**$(startup_paired "$arch" host bare $what)**"
        row[${what}launchpair_$arch]="**$(startup_paired "$arch" host launcher $what)**"
    done
    row[wholebare_$arch]=$(cell "$(startup_stat "$arch" host whole median)" "$(startup_stat "$arch" bare whole median)")
    row[wholelaunch_$arch]=$(cell "$(startup_stat "$arch" host whole median)" "$(startup_stat "$arch" launcher whole median)")
    row[reject_$arch]="$(value "$arch" host_reject_ns) ns"
    exe=$BUILD_ROOT/windows-$arch/UmberdeepSafeMode.exe
    stripped=$(mktemp)
    "$(triple_of "$arch")-strip" -o "$stripped" "$exe"
    size=$(stat -c %s "$stripped")
    rm -f "$stripped"
    row[size_$arch]="$size B ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }') KiB) / 65536 B / **$(ratio "$size" 65536)**"
    row[imports_$arch]=$("$(triple_of "$arch")-objdump" -p "$exe" | awk '/DLL Name:/ { printf "%s%s", sep, $3; sep = ", " }')
    row[status_$arch]=$(value "$arch" status)
    row[status_window_$arch]=$(value "window-$arch" status)
    row[count_$arch]=$(value "$arch" cell_count)
    row[starts_$arch]=$(awk '$2 == "bare"' "$OUT_DIR/startup-$arch.txt" | wc -l)
done

cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
{
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($cpu), $(wine --version),"
    echo "in tmux ($(tmux -V)), and the cell write and the poll also in Wine's console window (wineconsole, on Xvfb);"
    echo "$([ "$quick" = 1 ] && echo "quick run (a tenth of every count), ")start-up: median of ${STARTS} rounds."
    echo "Each cell: host / limit / **ratio**; the limit is the same work done directly on the platform in the same run."
    [ -n "$note" ] && echo "$note"
    echo
    header="| Measure | Limit |"
    rule="| --- | --- |"
    for arch in $ARCHES; do header+=" $(name_of "$arch") |"; rule+=" --- |"; done
    for arch in $ARCHES; do header+=" $(name_of "$arch"), window |"; rule+=" --- |"; done
    echo "$header Goal |"
    echo "$rule --- |"
    line() {
        local label=$1 limit=$2 key=$3 goal=$4 out
        out="| $label | $limit |"
        for arch in $ARCHES; do out+=" ${row[${key}_$arch]} |"; done
        for arch in $ARCHES; do out+=" ${row[${key}_window_$arch]:-—} |"; done
        echo "$out $goal |"
    }
    line "The host's own share of a call: os_put_font refusing x = −1" "—" reject "—"
    line "Cell write, os_put_font, mean of ${row[count_${ARCHES%% *}]} (µs)" "one-cell WriteConsoleOutputA on the active buffer" cell "≤ 1.05"
    line "Cell write, medians of the blocks of 20 (µs), paired ratio" "the same" cellmed "—"
    line "Full screen 80 × 25, cell by cell, mean (ms)" "the same 2000 cells, one call each" screen "—"
    line "Full screen, min/median/max (ms), paired ratio" "the same" screenpair "—"
    line "Full screen in one WriteConsoleOutputA call (ms)" "(for scale: what batching would give)" onecall "—"
    line "Full screen through the kit's back buffer (os_screen.h), every cell, mean (ms)" "the same 2000 cells by os_put_font" backfull "—"
    line "Full screen through the back buffer, min/median/max (ms), paired ratio" "the same" backfullspread "—"
    line "A frame of 3 changed cells through the back buffer, mean (µs)" "the same 3 cells by os_put_font" backframe "—"
    line "The back buffer's flush of an unchanged frame (its whole cost beyond the cells written)" "—" unchanged "—"
    line "Banner cells painted" "—" bannercells "—"
    line "Banner, os_display_title(1) then (0), mean (ms)" "the same cells written directly" banner "—"
    line "Banner, min/median/max (ms), paired ratio" "the same" bannerspread "—"
    line "Poll, os_get_input on an empty queue, mean (µs)" "Sleep(1) + GetNumberOfConsoleInputEvents" poll "≤ 1.05"
    line "Poll, medians of the blocks of 50 (µs), paired ratio" "the same" pollmed "—"
    line "Pause, 200 os_pause by GetTickCount, min/median/max (ms)" "Sleep(1) until 40 ticks" pauseticks "≤ 1.02 (medians)"
    line "Pause, 200 os_pause by QueryPerformanceCounter (ms)" "Sleep(1) until 40 ticks" pauseqpc "≤ 1.02 (medians)"
    line "Pause, 200 os_pause by GetTickCount (ms)" "Sleep(1) + console query until 40 ticks" pauseqticks "—"
    line "Pause, 200 os_pause by QueryPerformanceCounter (ms)" "Sleep(1) + console query until 40 ticks" pauseqqpc "—"
    line "Pause, what os_pause returned, min/median/max (ms)" "—" returned "40–5000"
    line "Pauses that ran past the milliseconds they returned" "—" longer "—"
    line "Start ticks at which 40 ticks read as 39 ms (mark in double)" "—" reads39 "—"
    line "Pause, 100 os_pause on their own, by GetTickCount (ms)" "—" aloneticks "—"
    line "Pause, 100 os_pause on their own, by QueryPerformanceCounter (ms)" "—" aloneqpc "—"
    line "Start-up, before \`wine\` to the first line of dll_main, median (ms)" "bare console program, to the first line of main" firstbaremedian "≤ 1.2"
    line "Start-up, the same, fastest (ms)" "bare console program, fastest" firstbaremin "≤ 1.2"
    line "Start-up, the same, paired ratio" "bare program started next to it" firstbarepair "≤ 1.2"
    line "Start-up, before \`wine\` to dll_main, median (ms)" "launcher that only loads the module and calls it" firstlaunchmedian "—"
    line "Start-up, the same, paired ratio" "that launcher started next to it" firstlaunchpair "—"
    line "Start-up, process creation to dll_main, median (ms)" "bare program, creation to main" insidebaremedian "≤ 1.2"
    line "Start-up, process creation to dll_main, fastest (ms)" "bare program, fastest" insidebaremin "≤ 1.2"
    line "Start-up, process creation to dll_main, paired ratio" "bare program started next to it" insidebarepair "≤ 1.2"
    line "Start-up, process creation to dll_main, median (ms)" "plain launcher" insidelaunchmedian "—"
    line "Start-up, process creation to dll_main, paired ratio" "plain launcher started next to it" insidelaunchpair "—"
    line "Whole run, before \`wine\` to its exit, median (ms)" "bare console program" wholebare "—"
    line "Whole run, before \`wine\` to its exit, median (ms)" "plain launcher" wholelaunch "—"
    line "Release exe, stripped" "64 KiB" size "≤ 1"
    line "Imported DLLs (objdump -p)" "system DLLs only" imports "system only"
    line "Benchmark run's exit status" "—" status "0"
} >"$OUT_DIR/results.md"
cat "$OUT_DIR/results.md"

if [ "$docs" = 1 ]; then
    # docs/performance.md: the rows that have a goal first, then every figure.
    awk -F'|' '!/^\|/ || $(NF - 1) !~ /^ — $/' "$OUT_DIR/results.md" >"$OUT_DIR/goals.md"
    {
        echo "# Performance"
        echo
        echo "\`bash scripts/bench.sh\` builds the benchmarks, runs them under Wine for both hosts, in a"
        echo "terminal and, for the cell write and the poll, in Wine's console window too, and prints"
        echo "the whole table (also written to \`build/bench/results.md\`); \`--docs\` writes this"
        echo "page. The services are timed by the self-test that ships with the host:"
        echo "\`UmberdeepSafeMode-selftest.exe --bench [--quick] [--window]\` runs its module inside the"
        echo "host and prints the same figures as \`key=value\` lines on any Windows machine."
        echo "[Where the time goes](where-the-time-goes.md) explains the figures. The kit's back buffer"
        echo "(\`os_screen.h\`) is timed against the same cells written with \`os_put_font\`: all it adds"
        echo "to the cells it writes is its flush's comparison of the 2,000 cells, the figure of the"
        echo "flush of an unchanged frame."
        echo
        echo "## The goals"
        echo
        cat "$OUT_DIR/goals.md"
        echo
        echo "## Every figure"
        echo
        grep '^|' "$OUT_DIR/results.md"
    } >docs/performance.md
    echo "bench: docs/performance.md updated" >&2
fi
