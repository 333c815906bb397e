# Sourced by the scripts that drive the packaged Windows launcher under Wine and Xvfb against
# the stand-in world (Linux processes on 127.0.0.1): a work folder, the world, the package as a
# player unpacks it, a display, and the launcher started with the focus in its window.
# Sets root, wbuild, lbuild, shots, work, state from the caller's arguments
#   WINDOWS_BUILD LINUX_BUILD SHOTDIR   (WINEPREFIX set by the caller)
# and stops all it started on exit.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/xvfb-display.sh
source "$root/scripts/xvfb-display.sh"
wbuild=$1 lbuild=$2 shots=$3
work=$(mktemp -d)
state="$work/world"
folder="$work/Лаунчер Quellbrook/Quellbrook"
xvfb_pid=""
mkdir -p "$shots"

cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    "$root/tools/demo-world/demo-world" stop "$state" >/dev/null 2>&1 || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [[ -n "${DISPLAY:-}" ]] && import -window root "$shots/windows-failure.png" 2>/dev/null || true
    tail -n 30 "$folder/logs/launcher.log" >&2 2>/dev/null || true
    exit 1
}
# Waits up to $2 seconds for a command to succeed.
wait_for() {
    local what=$1 seconds=$2
    shift 2
    for _ in $(seq $((seconds * 4))); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.25
    done
    fail "$what"
}

start_world() {
    "$root/tools/demo-world/demo-world" start "$state" "$lbuild" >/dev/null
}

# The package ZIP as a player unpacks it into a folder named "Лаунчер Quellbrook", with the
# world's endpoints and the server's mods (so no mod manager offer interrupts the keyboard).
unpack_package() {
    python3 -m zipfile -e "$1" "$work/Лаунчер Quellbrook"
    # endpoints.ini holds group/key=value lines, a group's keys not all together
    awk '{ n = index($0, "/"); g = substr($0, 1, n - 1); if (!(g in keys)) order[++count] = g
           keys[g] = keys[g] substr($0, n + 1) "\n" }
         END { for (i = 1; i <= count; i++) printf "[%s]\n%s", order[i], keys[order[i]] }' \
        "$state/endpoints.ini" >"$folder/Quellbrook.ini"
    mkdir -p "$folder/minecraft/mods"
    cp "$state/mirror/server-mods/"*.jar "$folder/minecraft/mods/"
}

start_display() { start_xvfb || fail "no display"; }

# Waits for a visible launcher window and puts the focus into it; window holds its id. The
# focus then lies on the first widget of the chain, the header's site link.
focus_launcher_window() {
    wait_for "no launcher window" 120 xdotool search --onlyvisible --name '^Quellbrook Launcher$'
    window=$(xdotool search --onlyvisible --name '^Quellbrook Launcher$' | head -1)
    sleep 5 # the mod list and the session check settle
    xdotool windowfocus --sync "$window"
}

start_launcher() {
    (cd "$folder" && exec wine quellbrook-launcher.exe >>"$work/launcher.out" 2>&1) &
    launcher_pid=$!
    disown "$launcher_pid" # ended with the prefix by wineserver -k, without a job notice
    focus_launcher_window
}
