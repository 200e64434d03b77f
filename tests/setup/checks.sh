# The checks of the set-up tests, in the test-anything form: "ok N - what" or "not ok N - what"
# per check, a count at the end, and failure when any check failed. Sourced by test-*.sh.

failures=0
count=0
# check WHAT COMMAND...: runs the command as one check.
check() {
    local what=$1
    shift
    count=$((count + 1))
    if "$@"; then
        echo "ok $count - $what"
    else
        echo "not ok $count - $what"
        failures=$((failures + 1))
    fi
}
output_is() { [[ "$1" == "$2" ]] || { printf '  got:      %q\n  expected: %q\n' "$1" "$2"; false; }; }
output_has() { [[ "$1" == *"$2"* ]] || { printf '  got: %q\n  lacks: %q\n' "$1" "$2"; false; }; }

# The count, and the script's status.
checks_done() {
    echo "$((count - failures)) passed, $failures failed"
    [[ $failures -eq 0 ]]
}
