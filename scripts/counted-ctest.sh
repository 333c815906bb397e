# Sourced by the test scripts. counted_ctest runs ctest with the given arguments, prints how
# many tests it executed, and fails when that is none, so a stage cannot pass having run
# nothing (a filter that matches nothing, a suite that was not built).
counted_ctest() {
    local log status count
    log=$(mktemp)
    ctest --no-tests=error "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    count=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
    rm -f "$log"
    ((status == 0)) || return "$status"
    [[ -n "$count" && "$count" -gt 0 ]] || { echo "== no test was executed" >&2; return 1; }
    echo "== executed $count tests"
}
