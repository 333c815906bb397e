# Sourced by the stages that draw on a display of their own.
# wait_for_file FILE SECONDS: succeeds once FILE holds something, fails after SECONDS.
wait_for_file() {
    for _ in $(seq $(($2 * 4))); do
        [[ -s "$1" ]] && return 0
        sleep 0.25
    done
    return 1
}
# start_xvfb: an Xvfb at a free display number, exported as DISPLAY; xvfb_pid holds its pid,
# for the caller to stop it.
start_xvfb() {
    local file
    file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$file" >/dev/null 2>&1 &
    xvfb_pid=$!
    wait_for_file "$file" 20 || { rm -f "$file"; echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$(cat "$file")"
    rm -f "$file"
}
