#!/usr/bin/env bash
# The player's path on Windows, played under Wine and Xvfb: the packaged zip unpacked into a
# folder named "Лаунчер Quellbrook", started against the stand-in world (Linux processes on
# 127.0.0.1), driven by keyboard focus only: sign in, press play. Passes when the Windows
# runtime zip was unpacked, java.exe ran the NeoForge installer and then the game with the agent
# and the session, the stand-in game's report names the player, and the launcher reported
# "Игра запущена!" (the text its window shows; a screenshot is kept).
# usage: play_under_wine.sh WINDOWS_BUILD LINUX_BUILD SHOTDIR   (WINEPREFIX set by the caller)
set -euo pipefail
# shellcheck source=tests/windows/wine_session.sh
source "$(dirname "$0")/wine_session.sh"
player=demo password=demo1234

start_world

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

unpack_package "$wbuild/Quellbrook-1.0.0-windows-x64.zip"
start_display
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
# ok, the player, the agent's server, a session token, the game in the Cyrillic folder
if (report.get("ok"), report.get("username"), report.get("javaagent", {}).get("apiRoot"),
        bool(report.get("accessTokenLength")), "Лаунчер Quellbrook" in report.get("gameDir", "")
        ) != (True, sys.argv[2], base, True, True): sys.exit(f"report: {report}")
print(f"[wine] the game ran as {report['username']} from {report['gameDir']}")
PY
echo "[wine] player's path passed: signed in, played, \"Игра запущена!\""
