#!/usr/bin/env bash
# The road of one quote, with every stand-in and the shipped quote engine
# (scripts/road.sh): what quorvel.exe did is compared with what quorvel-tool
# replay computes for the same store and tape: the orders the trading
# program accepted, the trade log, the 3007 lines in the server's record
# and the saved store. Once with the keystroke profile, where the engine's
# first source (the comma format) fails mid-tape and the second carries on
# without a fire lost or doubled; once with the control-level profile,
# where the trading program is closed before the last automatic fire: the
# program tells the user it lost the association, places that order
# nowhere and goes on watching; and once as installed from the package,
# with our quote engine and no account library (the login counts as done).
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_begin

test_count() { [ "$(grep -c "$2" "$1")" -eq "$3" ] || { echo "   $(grep -c "$2" "$1") of $3 in $1"; false; }; }

road_example "$work" "$work/tape-e2e.csv"
echo "replay: $road_fires fires ($road_automatic automatic) on ${#road_rows[@]} rows"
# The row of the last automatic fire, and the orders placed before it.
last_auto=$(sed -nE 's/^([0-9-]+ [0-9:]+) fire #.*automatic\)$/\1/p' "$work/replay.txt" | tail -n 1)
for i in "${!road_rows[@]}"; do [[ "${road_rows[$i]}" == "$last_auto,"* ]] && cut_row=$i; done
head -n $((road_automatic - 1)) "$work/expected-orders.txt" >"$work/expected-orders-cut.txt"

# run_mode <name> <profile> <host> <web port> [cut|failover|bare]
run_mode() {
  local name=$1 profile=$2 host=$3 web=$4 cut=${5:-} failover= bare=
  if [ "$cut" = failover ]; then cut= failover=1; fi
  if [ "$cut" = bare ]; then cut= bare=1; fi
  road_no_account=${bare:-0}
  local dir="$work/$name" expected="$work/expected-orders.txt"
  echo "== $name ($profile) on $host"
  road_step "starting quorvel.exe"
  road_check "$name: logged in by itself and associated the trading program" \
    road_start "$dir" "$profile" "$host" "$web" "$work/policy.tmp" "$work/tape-e2e.csv"
  [ -n "${road_main:-}" ] || return 0
  [ -z "$bare" ] || road_check "$name: no account library beside the program" test ! -e "$dir/app/velmora.dll"
  # The user starts every monitor from the toolbar, as a user would.
  road_check "$name: all monitors running" road_start_monitors "$dir" 8

  if [ -n "$failover" ]; then
    local half=$((${#road_rows[@]} / 2))
    road_check "$name: the first half of the tape played from the comma format" road_play "$dir" "$host" "$web" 0 "$half"
    road_step "the comma format fails"
    road_format "$host" "$web" comma fail
    road_check "$name: the rest of the tape played from the tilde format" \
      road_play "$dir" "$host" "$web" "$half" "${#road_rows[@]}"
    road_check "$name: the engine asked the comma format before and the tilde format after the failure" \
      python3 - "$dir/record.jsonl" <<'PY'
import json, sys
events = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
fail = next(i for i, e in enumerate(events) if e.get("action") == "quote-format-fail")
before = {e["format"] for e in events[:fail] if e.get("event") == "quote-format" and e["status"] == 200}
after = [e for e in events[fail:] if e.get("event") == "quote-format"]
sys.exit(not (before == {"comma"} and any(e["format"] == "comma" and e["status"] == 503 for e in after)
              and any(e["format"] == "tilde" and e["status"] == 200 and e["known"] > 0 for e in after)))
PY
  elif [ -z "$cut" ]; then
    road_check "$name: the tape played" road_play "$dir" "$host" "$web" 0 "${#road_rows[@]}"
  else
    road_check "$name: the tape played up to the last automatic fire" road_play "$dir" "$host" "$web" 0 "$cut_row"
    road_wait_for 10 road_has_lines "$dir/orders.txt" "$((road_automatic - 1))" || true
    road_step "closing the trading program"
    kill "$road_trader_pid"
    wait "$road_trader_pid" 2>/dev/null || true
    # The refresh button re-checks the association at once, as the timer would later.
    road_drive toolbar-click --window "$road_main" --text "刷新" >/dev/null || true
    road_check "$name: the user is told the association was lost" \
      road_drive answer --title "提示" --exact --button "确定" --timeout-ms 20000
    road_check "$name: the status bar says so" road_wait_for 10 road_status_reads "和交易软件失去关联！"
    road_check "$name: the rest of the tape played" road_play "$dir" "$host" "$web" "$cut_row" "${#road_rows[@]}"
    road_check "$name: the program still answers" road_wait_for 10 road_pane_reads 1 "ID：demo\$"
    expected="$work/expected-orders-cut.txt"
  fi
  road_step "tape played"
  # Anything still in flight has arrived once the last order is in the file.
  road_wait_for 10 road_has_lines "$dir/orders.txt" "$(road_count_lines "$expected")" || true
  road_drive listview --window "$road_main" >"$dir/list.txt" || true
  road_shot "app_orders-$name.png"

  tr -d '\r' <"$dir/orders.txt" >"$dir/orders-unix.txt"
  road_check "$name: the trading program accepted exactly the automatic orders of the replay${cut:+ before it closed}" \
    cmp "$expected" "$dir/orders-unix.txt"
  road_check "$name: one trade log line per fire, prompts included" \
    test "$(road_count_lines "$dir/app/log/trade.log")" -eq "$road_fires"
  road_check "$name: the trade log lines are the replay's, apart from the clock" \
    cmp <(cut -d, -f3- "$work/replay-trade.log") <(cut -d, -f3- "$dir/app/log/trade.log")
  # The broadcast is sent before the line is written, but arrives on its own time.
  road_check "$name: each line went to the server as a 3007 message" \
    road_wait_for 10 test_count "$dir/record.jsonl" '\[触发交易\].*"type":3007' "$road_fires"
  if [ -n "$cut" ]; then
    road_check "$name: so did the daily log's line about the lost association" \
      grep -q '交易软件先退出造成刷新后和其失去关联！.*"type":3007' "$dir/record.jsonl"
  fi
  "$road_tool" policy-dump "$dir/app/data/policy.tmp" | awk '{ print $1, $6, $7 }' >"$dir/states.txt"
  road_check "$name: the saved store has the monitors triggered as in the replay" \
    cmp "$work/expected-states.txt" "$dir/states.txt"
  # The state column's picture: 14 running, 15 stopped, 16 triggered.
  awk -F'\t' '$1 == "images" { print $2 + 1, ($4 == 16 ? "triggered" : $4 == 14 ? "running" : "stopped") }' \
    "$dir/list.txt" >"$dir/list-states.txt"
  road_check "$name: the list shows each monitor's state as the store has it" \
    cmp <(awk '{ print $1, $2 }' "$work/expected-states.txt") "$dir/list-states.txt"

  road_close_program
  road_stop_all
  if [ "$road_fail" -ne 0 ]; then
    echo "--- replay"; cat "$work/replay.txt"
    echo "--- orders"; cat "$dir/orders-unix.txt"
    echo "--- list"; cat "$dir/list.txt"
    echo "--- trade log"; iconv -f GBK -t UTF-8 "$dir/app/log/trade.log" 2>/dev/null || true
  fi
}

run_mode keystroke simtrader_keystroke.ini 127.0.71.1 18171 failover
run_mode controls simtrader_controls.ini 127.0.71.2 18172 cut
# As installed from the package: our quote engine and no other outside library.
run_mode installed simtrader_keystroke.ini 127.0.71.3 18173 bare
exit "$road_fail"
