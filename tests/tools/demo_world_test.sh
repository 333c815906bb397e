#!/usr/bin/env bash
# Starts the demo world in a temporary folder, checks each service over loopback the way the
# launcher uses it, and checks that stop leaves none of its processes behind.
set -euo pipefail
tool=$1 build=$2
state=$(mktemp -d)
trap '"$tool" stop "$state"; rm -rf "$state"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" start "$state" "$build"
value() { sed -n "s|^$1=||p" "$state/endpoints.ini"; }
meta=$(value endpoints/mojangMeta)
accounts=$(value auth/baseUrl)
modrinth=$(value endpoints/modrinthApi)
[[ -n "$meta" && -n "$accounts" && -n "$modrinth" ]] || fail "endpoints.ini misses a host"

curl -sf --max-time 10 "$meta/mc/game/version_manifest_v2.json" | grep -q '"1.21.1"' \
    || fail "the mirror does not list 1.21.1"
curl -sf --max-time 10 "$(value endpoints/neoforgeMaven)/api/maven/versions/releases/net/neoforged/neoforge" \
    | grep -q '"21.1.230"' || fail "the maven list misses 21.1.230"

# Every listed mod downloads with the size and SHA-256 its manifest entry gives.
manifest=$(curl -sf --max-time 10 "$accounts/api/mods") || fail "no /api/mods"
python3 - "$manifest" <<'PY' || fail "a server mod does not match its manifest entry"
import hashlib, json, sys, urllib.request
mods = json.loads(sys.argv[1])["mods"]
assert len(mods) == 3, mods
for mod in mods:
    data = urllib.request.urlopen(mod["url"], timeout=10).read()
    assert len(data) == mod["sizeBytes"], mod
    assert hashlib.sha256(data).hexdigest() == mod["sha256"], mod
PY

# The demo account signs in; the stand-in Modrinth knows the server's mods by their SHA-1.
curl -sf --max-time 10 -H 'Content-Type: application/json' \
    -d '{"username": "demo", "password": "demo1234"}' "$accounts/authserver/authenticate" \
    | grep -q accessToken || fail "the demo account does not sign in"
sha1=$(sha1sum "$state/mirror/server-mods/jei-1.21.1-19.21.jar" | cut -d' ' -f1)
curl -sf --max-time 10 "$modrinth/v2/version_file/$sha1?algorithm=sha1" | grep -q project_id \
    || fail "the stand-in Modrinth does not know a server mod"

pids=$(cat "$state/account-server.pid" "$state/modrinth.pid" "$state/nginx/nginx.pid")
"$tool" stop "$state"
for pid in $pids; do
    ! kill -0 "$pid" 2>/dev/null || fail "process $pid still runs after stop"
done
echo "demo world: all services answered and stopped"
