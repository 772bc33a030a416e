#!/usr/bin/env bash
# The stand-in quote engine drasken.dll (win64, under Wine) against the
# native quorvel-sim-server: tools/drasken_probe_win.cpp binds the DLL as the
# program does and checks packets, notices, single quotes and the unload;
# here the server's record must show what the engine did, and the server
# must stop cleanly on SIGTERM.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE64:?}"
server="$ROOT/build/native/sim/server/quorvel-sim-server"
dll="$ROOT/build/win64/sim/quote_engine/drasken.dll"
probe="$ROOT/build/win64/tests/drasken_probe.exe"
for f in "$server" "$dll" "$probe"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done

host=127.77.3.1
work=$(mktemp -d)
server_pid=""
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
logs="$ROOT/build/test-logs"
mkdir -p "$logs"
# The server's record and output stay in the test logs.
trap 'stop_server; cp "$work/record.jsonl" "$logs/quote_engine-record.jsonl" 2>/dev/null;
  cp "$work/server.out" "$logs/quote_engine-server.out" 2>/dev/null; rm -rf "$work"' EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}

# 45 rows over three codes, 15 ms apart.
{
  echo "time,code,market,name,prev_close,open,high,low,price"
  for i in $(seq 0 14); do
    s=$(printf '%02d' "$i")
    echo "2012-05-18 10:31:$s,600000,SH,浦发银行,10.100,10.150,10.900,10.050,10.$((200 + i))"
    echo "2012-05-18 10:31:$s,000001,SZ,平安银行,9.100,9.150,9.900,9.050,9.$((300 + i))"
    echo "2012-05-18 10:31:$s,600036,SH,招商银行,12.000,12.100,12.300,11.900,12.$((100 + i))"
  done
} >"$work/tape.csv"

# The engine is loaded from a folder of its own, as from a copy of the
# application folder.
mkdir "$work/app"
cp "$dll" "$work/app/"

"$server" --host "$host" --web-port 8077 --tape "$work/tape.csv" --pace-ms 15 \
  --record "$work/record.jsonl" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do
  grep -q "^quorvel-sim-server ready on $host\$" "$work/server.out" && break
  sleep 0.1
done
check "the server is ready" grep -q "ready on $host" "$work/server.out"

status=0
timeout 120 "$QV_WINE64" "$probe" "Z:$work/app/drasken.dll" "Z:$work/tape.csv" "$host" 7709 8077 \
  </dev/null >"$work/probe.out" 2>&1 || status=$?
tr -d '\r' <"$work/probe.out" | sed 's/^/  /'
check "the probe passed" test "$status" -eq 0

kill -TERM "$server_pid"
server_status=0
wait "$server_pid" || server_status=$?
server_pid=""
check "the server stops cleanly on SIGTERM" test "$server_status" -eq 0
record="$work/record.jsonl"
check "the engine said hello with the session's token and user" \
  grep -q '"event":"quote-connect".*"token":4711.*"user":"probe"' "$record"
check "the engine subscribed the two watched codes" grep -q '"codes":\["600000","000001"\]' "$record"
check "80 single quotes reached the feed" test "$(grep -c '"event":"quote-query"' "$record")" -ge 80
check "the record ends with the stop" sh -c "tail -n 1 '$record' | grep -q server-stop"
exit $fail
