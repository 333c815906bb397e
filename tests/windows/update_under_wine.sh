#!/usr/bin/env bash
# The Windows launcher updates itself under Wine and Xvfb: the 1.0.0 package unpacked into
# "Лаунчер Quellbrook", the stand-in world offering the signed 1.0.1 package, "Обновить"
# pressed by keyboard focus and the restart confirmed. Passes when the old launcher exited,
# every file of the folder that the 1.0.1 package brings is its file byte for byte, the
# restarted launcher has its window up and checks as 1.0.1 (a screenshot shows its header),
# every *.old and the staging folder are gone, and the INI, the game folder and the logs of
# earlier sessions are as they were.
# usage: update_under_wine.sh WINDOWS_BUILD LINUX_BUILD SHOTDIR   (WINEPREFIX set by the caller)
set -euo pipefail
# shellcheck source=tests/windows/wine_session.sh
source "$(dirname "$0")/wine_session.sh"
next_zip="$wbuild/Quellbrook-1.0.1-windows-x64.zip"
[[ -f "$next_zip" ]] || fail "no $next_zip (scripts/package-windows --next)"

QBK_WINDOWS_NEXT_PACKAGE="$next_zip" start_world
grep -q '"windows-x64"' "$state/mirror/launcher/latest.json" || fail "the world offers no Windows package"
unpack_package "$wbuild/Quellbrook-1.0.0-windows-x64.zip"
mkdir -p "$folder/logs"
echo "an earlier session" >"$folder/logs/earlier-session.log"
log="$folder/logs/launcher.log"
# What the player owns: the INI, the game, the logs but the launcher's own rotating ones.
player_files() {
    (cd "$folder" && find Quellbrook.ini minecraft logs -type f ! -name 'launcher*.log' -print0 |
        sort -z | xargs -0 sha256sum)
}
no_leftovers() { [[ -z "$(find "$folder" -name '*.old')" && ! -e "$folder/update-staging" ]]; }
dialog() { xdotool search --onlyvisible --name '^Обновление лаунчера$'; }

start_display
start_launcher
wait_for "no update offered" 60 grep -q '\[Update\] .* release 1\.0\.1 offered' "$log"
import -window root "$shots/windows-update-offered.png"
before=$(player_files)
# "Обновить" came up after the focus went to the site link: one step back.
xdotool key shift+Tab
sleep 0.5
xdotool key space
wait_for "the package was not staged" 120 grep -q '\[Update\] package 1\.0\.1: staged' "$log"
wait_for "no restart question" 30 dialog
xdotool windowfocus --sync "$(dialog | head -1)"
xdotool key Return
wait_for "the old launcher did not exit" 60 bash -c "! kill -0 $launcher_pid"

# The new launcher rotated the old one's log to launcher.1.log.
wait_for "no window of the new launcher" 120 \
    xdotool search --onlyvisible --name '^Quellbrook Launcher$'
grep -q '\[Update\] swapped in 1\.0\.1, restarting' "$folder/logs/launcher.1.log" ||
    fail "the old launcher's log does not tell the swap"
wait_for "the new launcher did not check as 1.0.1" 60 grep -q 'is not newer than 1\.0\.1' "$log"
wait_for "what the swap moved aside stayed" 30 no_leftovers
import -window root "$shots/windows-updated.png"
python3 -m zipfile -e "$next_zip" "$work/next"
[[ -n "$(find "$work/next" -type f)" ]] && (cd "$work/next/Quellbrook" && find . -type f -print0 |
    xargs -0 -I{} cmp {} "$folder/{}") || fail "the folder does not hold the 1.0.1 package"
[[ "$(player_files)" == "$before" ]] || fail "the update changed the player's files"
echo "[wine] update passed: 1.0.0 -> 1.0.1, restarted, no *.old left, player's files unchanged"
