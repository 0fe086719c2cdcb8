#!/usr/bin/env bash
# The module author's kit: "cmake --install" puts this host, its import library,
# the demo and the header into a prefix; docs/examples/hello_module.c, built
# against that prefix alone with the one compiler line the README gives, loads
# in the installed host, draws its cells and reads a key.
set -u
. "$(dirname "$0")/lib.sh"
wine_bench_start
trap wine_bench_stop EXIT

EXAMPLE=$WINE_TESTS_ROOT/docs/examples/hello_module.c
KIT=$(mktemp -d "$BENCH_DIR/kit.XXXXXX")
if [ "$ARCH" = x64 ]; then CC=x86_64-w64-mingw32-gcc; else CC=i686-w64-mingw32-gcc; fi

cmake --install "$BUILD_DIR" --prefix "$KIT" >"$KIT/install.log" 2>&1
check "kit: cmake --install succeeds" 0 "$?"
for file in "bin/$ARCH/UmberdeepSafeMode.exe" "bin/$ARCH/Umberdeep.dll" \
            "lib/$ARCH/libUmberdeepSafeMode.dll.a" include/os_services.h; do
    if [ -f "$KIT/$file" ]; then pass "kit: installs $file"; else fail "kit: installs $file" "missing"; fi
done

# The README shows the example as it is, and the line that builds it.
readme=$WINE_TESTS_ROOT/README.md
if python3 - "$EXAMPLE" "$readme" <<'PY'
import sys
example = open(sys.argv[1]).read()
sys.exit(0 if example in open(sys.argv[2]).read() else 1)
PY
then pass "kit: the README shows the example module as it is"
else fail "kit: the README shows the example module as it is" "README and $EXAMPLE differ"; fi
line="$CC -shared -O2 -static-libgcc -I KIT/include -o Umberdeep.dll hello_module.c -L KIT/lib/$ARCH -lUmberdeepSafeMode"
if grep -qF -- "$line" "$readme"; then pass "kit: the README gives the compiler line for the $ARCH host"
else fail "kit: the README gives the compiler line for the $ARCH host" "no <$line>"; fi

# Build it against the installed kit only, then run it in the installed host.
dir=$(mktemp -d "$BENCH_DIR/run.XXXXXX")
cp "$EXAMPLE" "$dir/"
(cd "$dir" && eval "${line//KIT/$(printf '%q' "$KIT")}") >"$dir/build.log" 2>&1
check "kit: the example builds with that line" 0 "$?"
cp "$KIT/bin/$ARCH/UmberdeepSafeMode.exe" "$dir/"
run_host_start "$dir" 30
window=$(host_window "$dir")
drawn=0
for i in $(seq 150); do
    tmux -L "$TMUX_SOCKET" capture-pane -p -t "$window" 2>/dev/null |
        grep -qF "Hello from a game module. Press a key." && { drawn=1; break; }
    sleep 0.2
done
check "kit: the example's cells show in the installed host" 1 "$drawn"
tmux -L "$TMUX_SOCKET" send-keys -t "$window" k
run_host_wait "$dir" 30
check "kit: the example read the key (exit status is its character, 107)" 107 "$HOST_STATUS"
