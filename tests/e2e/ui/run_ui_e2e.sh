#!/usr/bin/env bash
# Runs the launcher's player scenarios under Xvfb with an accessibility bus, against a demo
# world of its own. usage: run_ui_e2e.sh BUILD SHOTDIR [SCENARIO...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$1 shots=$2
shift 2
state=$(mktemp -d)
work=$(mktemp -d)
cleanup() { "$root/tools/demo-world/demo-world" stop "$state"; rm -rf "$state" "$work"; }
trap cleanup EXIT
# Ended by a time-out, the world still goes.
trap 'exit 143' TERM INT

"$root/tools/demo-world/demo-world" start "$state" "$build" >/dev/null
mkdir -p "$shots"
status=0
# Debian's own python3: pyatspi is installed for it only.
xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" dbus-run-session -- \
    /usr/bin/python3 "$here/launcher_ui_test.py" "$build/app/quellbrook-launcher" \
    "$state/endpoints.ini" "$work" "$shots" "$@" || status=$?
if ((status != 0)) && [[ -f "$work/launcher.log" ]]; then
    echo "--- launcher output"; tail -n 60 "$work/launcher.log"
fi
exit "$status"
