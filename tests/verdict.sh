# Sourced by every test script (tests/wine/lib.sh sources it too): result lines,
# and one rule for the script's exit status.
#
#   pass NAME / fail NAME WHY    one result line, "PASS: [tag] NAME" or "FAIL: [tag] NAME: WHY"
#   check NAME EXPECTED ACTUAL   passes when the two are equal
#   at_exit COMMAND              runs COMMAND (with eval) when the script ends
#   module_verdicts LABEL FILE   the checks a test module wrote to FILE, each a result line
#   verdict_lines FILE           those checks' lines as they stand in FILE
#
# However the script ends, it ends with status 0 only when no check failed and
# it did not stop on an error.

CHECKS_FAILED=0
CHECKS_AT_EXIT=()
trap checks_verdict EXIT

# The tag of a result line: the host's architecture, when there is one.
# tests/wine/lib.sh adds the terminal size.
tag() { [ -n "${ARCH:-}" ] && echo "[$ARCH]"; return 0; }
result_line() { local t; t=$(tag); echo "$1: ${t:+$t }$2"; }
pass() { result_line PASS "$1"; }
fail() { CHECKS_FAILED=$((CHECKS_FAILED + 1)); result_line FAIL "$1: $2"; }
check() { if [ "$2" = "$3" ]; then pass "$1"; else fail "$1" "expected <$2>, got <$3>"; fi; }
at_exit() { CHECKS_AT_EXIT+=("$1"); }

# A test module's checks (selftest/check.h) are lines "PASS|FAIL|SKIP<TAB>file:line<TAB>text";
# its other lines (notes, logs) hold no such verdict. module_verdicts passes
# each as "LABEL: text"; a failure's reason starts with the check's file:line,
# followed by what the text says after its first ": " (what was seen).
verdict_lines() { grep -E $'^(PASS|FAIL|SKIP)\t' "$1" 2>/dev/null; }
module_verdicts() {
    local label=$1 kind where text
    while IFS=$'\t' read -r kind where text; do
        case $kind in
            PASS) pass "$label: $text" ;;
            FAIL) if [[ $text == *": "* ]]; then fail "$label: ${text%%: *}" "$where: ${text#*: }"
                  else fail "$label: $text" "$where"; fi ;;
            SKIP) result_line SKIP "$label: $text ($where)" ;;
        esac
    done < <(verdict_lines "$2")
}

checks_verdict() {
    local status=$? command
    for command in "${CHECKS_AT_EXIT[@]}"; do eval "$command"; done
    [ "$status" = 0 ] && [ "$CHECKS_FAILED" = 0 ] && exit 0
    [ "$CHECKS_FAILED" = 0 ] && result_line FAIL "$(basename "$0"): stopped with status $status"
    exit 1
}
