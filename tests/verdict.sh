# Sourced by every test script (tests/wine/lib.sh sources it too): result lines,
# and one rule for the exit status: 0 only when no check failed and the script
# did not stop on an error.
#   pass NAME / fail NAME WHY    one result line, "PASS: [tag] NAME" or "FAIL: [tag] NAME: WHY"
#   check NAME EXPECTED ACTUAL   passes when the two are equal
#   at_exit COMMAND              runs COMMAND (with eval) when the script ends
#   module_verdicts LABEL FILE   the checks a test module wrote to FILE, each a result line
#                                "LABEL: text" (contract_lines verdicts; tests/native)

CHECKS_FAILED=0
CHECKS_AT_EXIT=()
trap checks_verdict EXIT
CONTRACT_LINES=${BUILD_ROOT:-$(dirname "${BASH_SOURCE[0]}")/../build}/native/tests/native/contract_lines

# The tag of a result line: the host's architecture, when there is one.
# tests/wine/lib.sh adds the terminal size.
tag() { [ -n "${ARCH:-}" ] && echo "[$ARCH]"; return 0; }
result_line() { local t; t=$(tag); echo "$1: ${t:+$t }$2"; }
pass() { result_line PASS "$1"; }
fail() { CHECKS_FAILED=$((CHECKS_FAILED + 1)); result_line FAIL "$1: $2"; }
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected <$2>, got <$3>"; fi; }
at_exit() { CHECKS_AT_EXIT+=("$1"); }

module_verdicts() {
    local t lines
    t=$(tag)
    lines=$("$CONTRACT_LINES" verdicts "$2" "${t:+$t }$1") || { fail "$1" "no $CONTRACT_LINES"; return; }
    [ -z "$lines" ] || echo "$lines"
    CHECKS_FAILED=$((CHECKS_FAILED + $(grep -c '^FAIL:' <<<"$lines" || true)))
}

checks_verdict() {
    local status=$? command
    for command in "${CHECKS_AT_EXIT[@]}"; do eval "$command"; done
    [ "$status" = 0 ] && [ "$CHECKS_FAILED" = 0 ] && exit 0
    [ "$CHECKS_FAILED" = 0 ] && result_line FAIL "$(basename "$0"): stopped with status $status"
    exit 1
}
