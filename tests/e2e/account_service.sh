#!/usr/bin/env bash
# The stand-in velmora.dll under Wine against a quorvel-sim-server on its own
# loopback address: velmora_check.exe works every export the program uses
# (one line per check), the server drops the login session on request so the
# DLL must post 0x464, and the server's record shows what reached it.
set -uo pipefail

server="$ROOT/build/native/sim/server/quorvel-sim-server"
dll="$QV_WIN_BUILD/sim/account_service/velmora.dll"
check="$QV_WIN_BUILD/tests/velmora_check.exe"
for f in "$server" "$dll" "$check"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
host=127.0.41.9
web=18089

work=$(mktemp -d "$ROOT/build/e2e-account-service.XXXXXX")
server_pid=""
check_pid=""
cleanup() {
  [ -n "$check_pid" ] && kill "$check_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for FILE PATTERN SECONDS
wait_for() {
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $1"
  return 1
}

timeout 120 "$server" --host "$host" --web-port "$web" --quote-port 17719 --user alice:pa55word \
  --record "$work/record.jsonl" >"$work/server.txt" 2>&1 &
server_pid=$!
wait_for "$work/server.txt" "ready on $host" 10 || { cat "$work/server.txt"; exit 1; }

cp "$dll" "$check" "$work/"
cd "$work"
"$QV_WINE" velmora_check.exe velmora.dll "$host" 17719 alice pa55word </dev/null >check.txt 2>&1 &
check_pid=$!
failed=0
if wait_for check.txt '^drop-now' 60; then
  curl -sS -d "" "http://$host:$web/admin/account-sessions/drop"; echo
else
  failed=1
fi
wait "$check_pid"
status=$?
check_pid=""
tr -d '\r' <check.txt
[ "$status" -eq 0 ] || { echo "velmora_check.exe exited with $status"; failed=1; }
grep -q '^velmora_check: 0 failures' <(tr -d '\r' <check.txt) || { echo "checks failed"; failed=1; }

# What the server saw, in order of the checks.
for want in '"event":"login","ok":false,"reason":"用户名或密码错误"' '"event":"login","ok":true' \
            '"event":"user-info","ok":true' '"ok":true,"seconds":600' \
            '"code":"600000"' '"action":"account-sessions-drop","dropped":1' '"event":"logout"'; do
  grep -qF "$want" record.jsonl || { echo "record lacks $want"; failed=1; }
done
[ "$failed" -eq 0 ] || cat record.jsonl
exit $failed
