#!/usr/bin/env bash
# The player's path on Windows, played under Wine and Xvfb: the packaged zip unpacked into a
# folder named "Лаунчер Quellbrook", started against the stand-in world (Linux processes on
# 127.0.0.1), driven by keyboard focus only: sign in, press play. Passes when the Windows
# runtime zip was unpacked, java.exe ran the NeoForge installer and then the game with the agent
# and the session, the stand-in game's report names the player, and the launcher reported
# "Игра запущена!" (the text its window shows; a screenshot is kept).
# usage: play_under_wine.sh WINDOWS_BUILD LINUX_BUILD SHOTDIR   (WINEPREFIX set by the caller)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
wbuild=$1 lbuild=$2 shots=$3
player=demo password=demo1234
work=$(mktemp -d)
state="$work/world"
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

"$root/tools/demo-world/demo-world" start "$state" "$lbuild" >/dev/null

# The Windows runtime archive of the mirror: the stand-in java.exe and javaw.exe with the DLLs
# they load in bin/, as a real runtime keeps its own.
sdk=$(sed -n 's/^QBK_WINDOWS_SDK_PREFIX_USED:INTERNAL=//p' "$wbuild/CMakeCache.txt")
bin="$work/java-bin"
mkdir -p "$bin"
x86_64-w64-mingw32-strip -o "$bin/java.exe" "$wbuild/tools/java-standin/qbk-java-standin.exe"
x86_64-w64-mingw32-strip -o "$bin/javaw.exe" "$wbuild/tools/java-standin/qbk-javaw-standin.exe"
extra=()
while IFS= read -r dll; do
    x86_64-w64-mingw32-strip --strip-unneeded -o "$bin/$(basename "$dll")" "$dll"
    extra+=(--bin-file "$bin/$(basename "$dll")")
done < <("$root/scripts/package-windows" --dlls "$sdk" "$bin/java.exe" "$bin/javaw.exe")
python3 "$root/tools/mirror/runtime_archive.py" \
    "$state/mirror/v3/binary/latest/21/ga/windows/x64/jre/hotspot/normal/eclipse" \
    --target windows --scale 64 --java-exe "$bin/java.exe" --javaw-exe "$bin/javaw.exe" \
    "${extra[@]}" >/dev/null

# The package as a player unpacks it, with the world's endpoints and the server's mods (so no
# mod manager offer interrupts the keyboard path).
player_dir="$work/Лаунчер Quellbrook"
mkdir -p "$player_dir"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
    "$wbuild/Quellbrook-1.0.0-windows-x64.zip" "$player_dir"
folder="$player_dir/Quellbrook"
python3 - "$state/endpoints.ini" "$folder/Quellbrook.ini" <<'PY'
import sys
groups = {}
for line in open(sys.argv[1], encoding="utf-8").read().splitlines():
    key, value = line.split("=", 1)
    group, name = key.split("/", 1)
    groups.setdefault(group, []).append(f"{name}={value}\n")
with open(sys.argv[2], "w", encoding="utf-8") as out:
    for group, lines in groups.items():
        out.write(f"[{group}]\n" + "".join(lines))
PY
mkdir -p "$folder/minecraft/mods"
cp "$state/mirror/server-mods/"*.jar "$folder/minecraft/mods/"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
wait_for "Xvfb did not start" 20 test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"

# Starts the launcher and waits for its window with the focus inside it; the focus then lies on
# the first widget of the chain, the header's site link.
start_launcher() {
    (cd "$folder" && exec wine quellbrook-launcher.exe >>"$work/launcher.out" 2>&1) &
    launcher_pid=$!
    disown "$launcher_pid" # ended with the prefix by wineserver -k, without a job notice
    wait_for "no launcher window" 120 xdotool search --onlyvisible --name '^Quellbrook Launcher$'
    window=$(xdotool search --onlyvisible --name '^Quellbrook Launcher$' | head -1)
    sleep 5 # the mod list and the session check settle
    xdotool windowfocus --sync "$window"
}

start_launcher
# Four steps on from the link is the name field.
xdotool key --delay 150 Tab Tab Tab Tab
xdotool type --delay 60 "$player"
xdotool key Tab
xdotool type --delay 60 "$password"
# Two steps on is "remember login and password", which keeps the session for the next start;
# back to the password field, whose Return signs in.
xdotool key --delay 150 Tab Tab space shift+Tab shift+Tab Return
wait_for "not signed in" 60 grep -q '^\[session\]' "$folder/Quellbrook.ini"
sleep 2
import -window root "$shots/windows-signed-in.png"

# Where the focus goes when the sign-in form hides depends on timing, so the launcher is
# closed and started again: signed in from its settings, its focus on the link, one step back
# wraps to the play button at the end of the chain.
xdotool key --window "$window" alt+F4
wait_for "the launcher did not close" 60 bash -c "! kill -0 $launcher_pid"
start_launcher
xdotool key shift+Tab
sleep 0.5
xdotool key space
log="$folder/logs/launcher.log"
wait_for "the launch did not end" 300 grep -qE '^\S+ \S+ \[Launch\] ' "$log"
import -window root "$shots/windows-launched.png"
grep -q '\[Launch\] Игра запущена!' "$log" || fail "the launcher did not report the game started"

# What the run left: the runtime from the Windows zip, the installer's work, the game's report.
[[ -f "$folder/runtime/java21/bin/java.exe" && -f "$folder/runtime/java21/bin/javaw.exe" ]] ||
    fail "no runtime unpacked from the Windows zip"
grep -q 'Successfully installed client neoforge-21.1.230' "$folder/minecraft/logs/neoforge-installer.log" ||
    fail "the NeoForge installer did not run to its end"
python3 - "$folder/minecraft/logs/standin-report.json" "$player" "$state/endpoints.ini" <<'PY' || fail "the game's report"
import json, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
base = dict(l.split("=", 1) for l in open(sys.argv[3]).read().splitlines())["auth/baseUrl"]
problems = []
if not report.get("ok"): problems.append(f"problems: {report.get('problems')}")
if report.get("username") != sys.argv[2]: problems.append(f"username {report.get('username')}")
if report.get("javaagent", {}).get("apiRoot") != base: problems.append(f"agent {report.get('javaagent')}")
if not report.get("accessTokenLength"): problems.append("no session token")
if "Лаунчер Quellbrook" not in report.get("gameDir", ""): problems.append(f"gameDir {report.get('gameDir')}")
if problems: sys.exit("; ".join(problems))
print(f"[wine] the game ran as {report['username']} from {report['gameDir']}")
PY
echo "[wine] player's path passed: signed in, played, \"Игра запущена!\""
