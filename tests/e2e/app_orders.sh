#!/usr/bin/env bash
# The road of one quote, with every stand-in: quorvel.exe logs in by itself
# to quorvel-sim-server through the stand-in velmora.dll, the user starts
# all monitors from the toolbar, the server plays a recorded tape through
# the stand-in drasken.dll, the monitors fire and the program types their
# orders into the stand-in trading program. Everything the program did is
# compared with what quorvel-tool replay computes for the same store and
# tape: the orders the trading program accepted, the trade log, the 3007
# lines in the server's record and the saved store. Once with the keystroke
# profile, once with the control-level profile.
#
# The tape is played in steps (--tape-step): the test releases the rows up
# to the next fire and waits for that fire's trade log line before it
# releases more. Reports that arrive while an order is being typed fire
# nothing by design, so a fixed pace would make the result depend on how
# long Wine takes to type an order.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE64:?}"
app="$ROOT/build/win64/app"
driver="$ROOT/build/win64/tests/qv-uidriver.exe"
trader="$ROOT/build/win64/sim/trader/simtrader.exe"
engine="$ROOT/build/win64/sim/quote_engine/drasken.dll"
account="$ROOT/build/win64/sim/account_service/velmora.dll"
server="$ROOT/build/native/sim/server/quorvel-sim-server"
make_example="$ROOT/build/native/tests/make_replay_example"
tool="$ROOT/build/native/src/tool/quorvel-tool"
logs="$ROOT/build/test-logs"
for f in "$app/quorvel.exe" "$driver" "$trader" "$engine" "$account" "$server" "$make_example" "$tool"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done
mkdir -p "$logs"

work=$(mktemp -d)
pids=()
stop_all() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=()
}
trap 'stop_all; rm -rf "$work"' EXIT
step() { echo "-- $(date +%T) $*"; }

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
drive() { "$QV_WINE64" "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'; }
# wait_for <seconds> <command...>
wait_for() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
count_lines() { if [ -f "$1" ]; then tr -d '\r' <"$1" | grep -c . || true; else echo 0; fi; }
log_has() { [ "$(count_lines "$1")" -ge "$2" ]; }
pane_reads() { # <pane> <text pattern>
  drive statusbar --window "$main" >"$work/status.txt" || true
  grep -qP "^pane\t$1\t\d+\t$2" "$work/status.txt"
}
login_pane_reads() { pane_reads 1 "$1\$"; }
status_reads() { grep -qP "\t$1" <(drive statusbar --window "$main"); }
store_running() { # <store> <count>
  [ "$("$tool" policy-dump "$1" 2>/dev/null | awk '$6 == "running"' | grep -c .)" -eq "$2" ]
}
tape_played() { # <host> <web port> <rows>
  curl -sf "http://$1:$2/admin/status" |
    python3 -c 'import json, sys; sys.exit(json.load(sys.stdin)["quote"]["nextRow"] < int(sys.argv[1]))' "$3"
}
# write_options <option.opt> <server>: the user ticked all three boxes last time.
write_options() {
  python3 - "$ROOT/src/account/password_cipher.h" "$1" "$2" <<'PY'
import re, struct, sys
key = re.search(r'kPasswordKey\[\] = "([a-z]{12})"', open(sys.argv[1]).read()).group(1)
cipher = lambda b: bytes(c ^ (ord(key[(i + 1) % 12]) % 10) for i, c in enumerate(b))
field = lambda b, n: b + bytes(n - len(b))
record = (field(sys.argv[3].encode(), 32) + struct.pack('<ii', 8085, 1) + b'\x01' + field(b'demo', 64) +
          b'\x01' + field(cipher(b'demo123'), 64) + b'\x01' + b'\x00')
assert len(record) == 172
open(sys.argv[2], 'wb').write(record)
PY
}

# The store and tape of the replay example, without the time monitor's
# rows: it fires on the wall clock here but on the tape's clock in the
# replay, so it would be compared with a different minute.
"$make_example" "$work"
grep -v ',600004,' "$work/tape.csv" >"$work/tape-e2e.csv"
"$tool" replay --store "$work/policy.tmp" --tape "$work/tape-e2e.csv" --start all --user demo \
  --trade-log "$work/replay-trade.log" --save "$work/replay-after.tmp" >"$work/replay.txt"
sed -nE 's/.*: (买入|卖出) ([0-9]+) .* at ([0-9.]+) x ([0-9]+) \(price [0-9.]+, automatic\)$/\1,\2,\3,\4/p' \
  "$work/replay.txt" | sed 's/^买入/buy/; s/^卖出/sell/' >"$work/expected-orders.txt"
fires=$(grep -c ' fire #' "$work/replay.txt")
automatic=$(grep -c . "$work/expected-orders.txt")
prompts=$((fires - automatic))
# Tape rows (1-based, without the header and comments) on which a monitor fires.
mapfile -t rows < <(grep -vE '^(time,|#)' "$work/tape-e2e.csv")
declare -A fire_row=()
while read -r day time; do
  for i in "${!rows[@]}"; do
    [[ "${rows[$i]}" == "$day $time,"* ]] && fire_row[$i]=1
  done
done < <(sed -nE 's/^([0-9-]+) ([0-9:]+) fire #.*/\1 \2/p' "$work/replay.txt")
echo "replay: $fires fires ($automatic automatic, $prompts prompt only) on ${#rows[@]} rows"
"$tool" policy-dump "$work/replay-after.tmp" | awk '{ print $1, $6, $7 }' >"$work/expected-states.txt"

caption="Tarvolen系列-Merrowickv1.7.6"

# run_mode <name> <profile> <host> <web port>
run_mode() {
  local name=$1 profile=$2 host=$3 web=$4
  local dir="$work/$name" status
  echo "== $name ($profile) on $host"
  mkdir -p "$dir"
  cp -r "$app" "$dir/app"
  cp "$engine" "$account" "$dir/app/"
  cp "$work/policy.tmp" "$dir/app/data/policy.tmp"
  printf '%s\r\n' "$host" >"$dir/app/servers.cfg"
  printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$dir/app/vendor.ini"
  iconv -f GBK -t UTF-8 "$app/config.ini" | sed "s/^行情交易配置文件名称=.*/行情交易配置文件名称=$profile/" |
    iconv -f UTF-8 -t GBK >"$dir/app/config.ini"
  write_options "$dir/app/option.opt" "$host"

  # The server stops by itself should this script be killed.
  timeout 300 "$server" --host "$host" --web-port "$web" --quote-port 7709 --user demo:demo123 \
    --tape "$work/tape-e2e.csv" --tape-step --record "$dir/record.jsonl" >"$dir/server.out" 2>&1 &
  pids+=($!)
  wait_for 10 grep -q "ready on $host" "$dir/server.out" || { cat "$dir/server.out"; return 1; }
  "$QV_WINE64" "$trader" --title "网上股票交易系统5.0" --orders "Z:$dir/orders.txt" </dev/null >/dev/null 2>&1 &
  pids+=($!)
  wait_for 20 test -f "$dir/orders.txt" || { echo "the trading program did not start"; return 1; }

  step "starting quorvel.exe"
  (cd "$dir/app" && exec "$QV_WINE64" quorvel.exe </dev/null >"$dir/program.out" 2>&1) &
  pids+=($!)
  drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 30000 >/dev/null || true
  # By its handle: the caption names the trading program once associated.
  main=$(drive wait-window --title "$caption" --exact --timeout-ms 30000 | awk -F'\t' '$1 == "window" { print $2; exit }')
  [ -n "$main" ] || { echo "no main window"; return 1; }
  check "$name: logged in by itself" wait_for 30 login_pane_reads "ID：demo"
  check "$name: associated with the trading program" wait_for 15 status_reads "和交易软件关联"

  step "logged in"
  # The user starts every monitor from the toolbar, as a user would.
  drive toolbar-click --window "$main" --text "启动所有监控" >/dev/null || true
  check "$name: all monitors running" wait_for 10 store_running "$dir/app/data/policy.tmp" 8

  # The tape, one row at a time; after a row that fires, its trade log line
  # must be written (the order has been typed) before the next row goes.
  local played=0 logged=0 i
  for i in "${!rows[@]}"; do
    curl -sf -d '{"rows":1}' "http://$host:$web/admin/tape/release" >/dev/null
    played=$((played + 1))
    wait_for 10 tape_played "$host" "$web" "$played" || { echo "row $played was not played"; break; }
    if [ -n "${fire_row[$i]:-}" ]; then
      logged=$((logged + 1))
      wait_for 30 log_has "$dir/app/log/trade.log" "$logged" || { echo "no trade log line for row $played"; break; }
    fi
  done
  step "tape played"
  # Anything still in flight has arrived once the last order is in the file.
  wait_for 10 log_has "$dir/orders.txt" "$automatic" || true
  drive listview --window "$main" >"$dir/list.txt" || true
  DISPLAY="$DISPLAY" import -window root "$logs/app_orders-$name.png" 2>/dev/null || true

  tr -d '\r' <"$dir/orders.txt" >"$dir/orders-unix.txt"
  check "$name: the trading program accepted exactly the automatic orders of the replay" \
    cmp "$work/expected-orders.txt" "$dir/orders-unix.txt"
  check "$name: one trade log line per fire, prompts included" \
    test "$(count_lines "$dir/app/log/trade.log")" -eq "$fires"
  check "$name: the trade log lines are the replay's, apart from the clock" \
    cmp <(cut -d, -f3- "$work/replay-trade.log") <(cut -d, -f3- "$dir/app/log/trade.log")
  check "$name: each line went to the server as a 3007 message" \
    test "$(grep -c '"type":3007' "$dir/record.jsonl")" -eq "$fires"
  "$tool" policy-dump "$dir/app/data/policy.tmp" | awk '{ print $1, $6, $7 }' >"$dir/states.txt"
  check "$name: the saved store has the monitors triggered as in the replay" \
    cmp "$work/expected-states.txt" "$dir/states.txt"

  drive close --window "$main" >/dev/null || true
  drive answer --title "提示" --button "是" >/dev/null || true
  stop_all
  if [ "$fail" -ne 0 ]; then
    echo "--- replay"; cat "$work/replay.txt"
    echo "--- orders"; cat "$dir/orders-unix.txt"
    echo "--- list"; cat "$dir/list.txt"
    echo "--- trade log"; iconv -f GBK -t UTF-8 "$dir/app/log/trade.log" 2>/dev/null || true
  fi
}

run_mode keystroke simtrader_keystroke.ini 127.0.71.1 18171
run_mode controls simtrader_controls.ini 127.0.71.2 18172
exit "$fail"
