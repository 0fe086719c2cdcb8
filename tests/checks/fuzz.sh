#!/usr/bin/env bash
# Builds the key-translation fuzzer with clang (libFuzzer, ASan, UBSan) in the
# tree of preset "fuzz", linked to the services library as the host is, runs it
# five million times and prints its figures.
set -u
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
OUT=$ROOT/build/fuzz
RUNS=${FUZZ_RUNS:-5000000}
mkdir -p "$OUT/corpus"
. "$ROOT/tests/verdict.sh"

if ! (cd "$ROOT" && cmake --preset fuzz && cmake --build --preset fuzz -j "$(nproc)") >"$OUT/build.log" 2>&1; then
    fail "fuzzer build" "the fuzz preset's build failed: $(tail -n 40 "$OUT/build.log")"
    exit 1
fi
# A few seeds, key records: an Up press, Alt+F4, Ctrl+X.
printf '\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x26\x00\x48\x00\x00\x00\x00\x00\x00\x00' >"$OUT/corpus/up"
printf '\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x73\x00\x3e\x00\x00\x00\x02\x00\x00\x00' >"$OUT/corpus/alt_f4"
printf '\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x58\x00\x2d\x00\x18\x00\x08\x00\x00\x00' >"$OUT/corpus/ctrl_x"
"$OUT/fuzz_key_translation" -runs="$RUNS" -max_len=32 -seed=1 "$OUT/corpus" >"$OUT/run.log" 2>&1
status=$?
done_line=$(grep -E '^Done [0-9]+ runs' "$OUT/run.log" | tail -n 1)
if [ "$status" = 0 ] && [ -n "$done_line" ]; then
    pass "key translation fuzzed without a crash or broken invariant"
    echo "  fuzzer: $done_line"
else
    tail -n 20 "$OUT/run.log"
    fail "key translation fuzzing" "status $status"
fi
