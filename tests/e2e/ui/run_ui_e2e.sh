#!/usr/bin/env bash
# Runs the launcher's player scenarios under Xvfb with an accessibility bus, against a demo
# world of its own, which must then stop without leaving a process behind.
# usage: run_ui_e2e.sh BUILD SHOTDIR [SCENARIO...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
world="$here/../../../tools/demo-world/demo-world" build=$1 shots=$2 status=0
shift 2
state=$(mktemp -d) work=$(mktemp -d)
trap '"$world" stop "$state"; rm -rf "$state" "$work"' EXIT
trap 'exit 143' TERM INT # ended by a time-out, the world still goes
"$world" start "$state" "$build" >/dev/null
# Debian's own python3: pyatspi is installed for it only.
xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" dbus-run-session -- /usr/bin/python3 \
    "$here/launcher_ui_test.py" "$build/app/quellbrook-launcher" "$state/endpoints.ini" "$work" \
    "$shots" "$@" || { status=$?; tail -n 60 "$work/launcher.log" 2>/dev/null || true; }
pids=$(cat "$state/account-server.pid" "$state/modrinth.pid" "$state/nginx/nginx.pid")
"$world" stop "$state"
for pid in $pids; do
    ! kill -0 "$pid" 2>/dev/null || { echo "FAIL: process $pid outlived demo-world stop"; exit 1; }
done
exit "$status"
