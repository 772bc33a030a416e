#!/usr/bin/env bash
# The shipped quote engine drasken.dll (i686, under 32-bit Wine) alone,
# without the program, against the native quorvel-sim-server's comma and tilde
# formats: tools/drasken_probe_win.cpp binds the DLL as the program does and
# works its seven exports (packets, failover, notices, single quotes, the
# unload) while it releases a stepped tape; here the server's record must
# show which format answered, and the server must stop cleanly on SIGTERM.
set -uo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
probe="$QV_WIN_BUILD/tests/drasken_probe.exe"
for f in "$road_server" "$road_engine" "$probe"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done

host=127.77.3.1
web=8077
work=$(mktemp -d)
mkdir -p "$road_logs"
# The server's record and output stay in the test logs.
trap 'road_stop_all; cp "$work/record.jsonl" "$road_logs/quote_engine-record.jsonl" 2>/dev/null;
  cp "$work/server.out" "$road_logs/quote_engine-server.out" 2>/dev/null; rm -rf "$work"' EXIT

# Twelve rows: a stock and an index (watched; the index under the program's
# code 1A0001, the services' sh000001) and a stock with the same digits in
# the other market (not watched).
{
  echo "time,code,market,name,prev_close,open,high,low,price"
  for i in 0 1 2 3; do
    echo "2012-05-18 10:31:0$i,600000,SH,浦发银行,10.100,10.150,10.900,10.050,10.2$i$i"
    echo "2012-05-18 10:31:0$i,1A0001,SH,上证指数,2300.000,2301.000,2330.000,2290.000,231$i.5$i$i"
    echo "2012-05-18 10:31:0$i,000001,SZ,平安银行,9.100,9.150,9.900,9.050,9.3$i$i"
  done
} >"$work/tape.csv"

# The engine is loaded from a folder of its own, as from a copy of the
# application folder, its drasken.ini naming the server's formats.
mkdir "$work/app"
road_install_engine "$work/app" "$host" "$web"

# The server stops by itself should this script be killed.
timeout 120 "$road_server" --host "$host" --web-port "$web" --tape "$work/tape.csv" --tape-step \
  --record "$work/record.jsonl" >"$work/server.out" 2>&1 &
server_pid=$!
road_pids+=("$server_pid")
road_check "the server is ready" road_wait_line "$work/server.out" "^quorvel-sim-server ready on $host\$" 10

status=0
timeout 60 "$QV_WINE" "$probe" "Z:$work/app/drasken.dll" "Z:$work/tape.csv" "$host" "$web" \
  </dev/null >"$work/probe.out" 2>&1 || status=$?
tr -d '\r' <"$work/probe.out" | sed 's/^/  /'
road_check "the probe passed" test "$status" -eq 0

kill -TERM "$server_pid"
server_status=0
wait "$server_pid" || server_status=$?
road_pids=()
road_check "the server stops cleanly on SIGTERM" test "$server_status" -eq 0
record="$work/record.jsonl"
answered() { grep '"event":"quote-format"' "$record" | grep "\"format\":\"$1\"" | grep -q "$2"; }
road_check "the comma format answered with quotes" answered comma '"known":[1-9]'
road_check "the comma format answered 503 while it failed" answered comma '"status":503'
road_check "the tilde format answered with quotes" answered tilde '"known":[1-9]'
road_check "the record ends with the stop" sh -c "tail -n 1 '$record' | grep -q server-stop"
exit "$road_fail"
