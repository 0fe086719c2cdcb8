# Sourced by every test script (tests/wine/lib.sh sources it too): result lines,
# and one rule for the script's exit status.
#
#   plan N                       the script runs N checks; state it before the first
#   pass NAME / fail NAME WHY    one result line, "PASS: [tag] NAME" or "FAIL: [tag] NAME: WHY"
#   check NAME EXPECTED ACTUAL   passes when the two are equal
#   skip WHY                     the script does not apply here: a "SKIP:" line, status 77
#   at_exit COMMAND              runs COMMAND (with eval) when the script ends
#
# Once plan has run, however the script ends (its last line, an early exit, an
# error), it ends with status 0 only when it ran exactly the checks it planned
# and none failed, and with status 1 otherwise; a script that ran a different
# number prints one more FAIL line saying so, and so does one that ran checks
# without a plan. scripts/test.sh counts the PASS: and FAIL: lines.

CHECKS_PASSED=0
CHECKS_FAILED=0
CHECKS_PLANNED=
CHECKS_AT_EXIT=()

# The tag of a result line: the host's architecture, when there is one.
# tests/wine/lib.sh adds the terminal size.
tag() {
    [ -n "${ARCH:-}" ] && echo "[$ARCH]"
    return 0
}

# result_line WORD TEXT: "WORD: [tag] TEXT".
result_line() {
    local t
    t=$(tag)
    echo "$1: ${t:+$t }$2"
}

pass() {
    CHECKS_PASSED=$((CHECKS_PASSED + 1))
    result_line PASS "$1"
}

fail() {
    CHECKS_FAILED=$((CHECKS_FAILED + 1))
    result_line FAIL "$1: $2"
}

check() {
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected <$2>, got <$3>"; fi
}

plan() {
    CHECKS_PLANNED=$1
    echo "plan $1"
    trap checks_verdict EXIT
}

skip() {
    trap - EXIT
    checks_run_at_exit
    result_line SKIP "$(basename "$0"): $1"
    exit 77
}

at_exit() {
    CHECKS_AT_EXIT+=("$1")
    trap checks_verdict EXIT
}

checks_run_at_exit() {
    local command
    for command in "${CHECKS_AT_EXIT[@]}"; do eval "$command"; done
    CHECKS_AT_EXIT=()
}

checks_verdict() {
    local status=$? ran=$((CHECKS_PASSED + CHECKS_FAILED))
    checks_run_at_exit
    if [ -z "$CHECKS_PLANNED" ]; then
        [ "$ran" = 0 ] && exit "$status"
        result_line FAIL "$(basename "$0"): ran $ran checks without stating a plan"
        exit 1
    fi
    if [ "$ran" != "$CHECKS_PLANNED" ]; then
        result_line FAIL "$(basename "$0"): ran $ran of $CHECKS_PLANNED planned checks"
        exit 1
    fi
    [ "$CHECKS_FAILED" = 0 ] && exit 0
    exit 1
}
