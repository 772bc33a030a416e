#!/usr/bin/env bash
# Fire only on a live trade, on the road of scripts/road.sh: every program
# runs on the Monday after the sample tape's Friday, so every report of the
# tape is three days old, as an engine may deliver them at start-up, on a
# holiday or from a lagging source. The whole tape reaches the engine and
# nothing fires. Then the stand-in server is given a report of the moment
# (it stamps it with its own clock, the same faked Monday): that one fires
# its monitor, and its order is the only one the trading program gets and
# its trade log line the only one written, after every stale report before it.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_begin

road_example "$work" "$work/tape-e2e.csv"
road_trading_time="2012-05-21 10:00:00"
# No row of the tape is to fire: none waits for a trade log line.
declare -gA road_fire_row=()
host=127.0.73.9 web=18179
dir="$work/run"
road_check "logged in by itself and associated the trading program" \
  road_start "$dir" simtrader_keystroke.ini "$host" "$web" "$work/policy.tmp" "$work/tape-e2e.csv"
[ -n "${road_main:-}" ] || exit 1
road_check "all monitors running" road_start_monitors "$dir" 8
road_check "the whole tape of Friday reached the engine" road_play "$dir" "$host" "$web" 0 "${#road_rows[@]}"

# The rise monitor of 600002 (above 10.500, buys) on a report of now.
curl -sf -d '{"code":"600002","name":"齐鲁石化","prevClose":10.0,"price":10.6}' \
  "http://$host:$web/admin/quote" >"$work/quote.json"
road_check "a live report of 600002 fires its monitor" road_wait_for 30 road_has_lines "$dir/app/log/trade.log" 1
road_check "and its buy reaches the trading program" road_wait_for 30 road_has_lines "$dir/orders.txt" 1
sleep 1
road_check "the only trade log line is the live one's" \
  test "$(tr -d '\r' <"$dir/app/log/trade.log" | iconv -f GBK -t UTF-8 | cut -d, -f1,4 | tr -d ' ')" = "12-05-21,600002"
road_check "the only order is its buy" \
  test "$(tr -d '\r' <"$dir/orders.txt" | grep . | cut -d, -f1,2)" = "buy,600002"
road_check "the other seven monitors still run" road_wait_for 10 road_store_running "$dir/app/data/policy.tmp" 7
road_shot "live_trade.png"
if [ "$road_fail" -ne 0 ]; then
  echo "--- trade log"; iconv -f GBK -t UTF-8 "$dir/app/log/trade.log" 2>/dev/null || true
  echo "--- orders"; cat "$dir/orders.txt" || true
fi
road_close_program
# What the program received went into the day's tape, written out at the
# latest when it ends: the live report, and none of the stale ones.
tapes="$dir/app/data/tapes"
road_check "the day tape is written when the program ends" \
  road_wait_for 30 bash -c "ls '$tapes' 2>/dev/null | grep -qxE '[0-9]{8}'"
tape_file="$tapes/$(ls "$tapes" 2>/dev/null | head -n 1)"
"$road_tool" tape "$tape_file" "$work/daytape.csv" >"$work/daytape.txt" 2>&1 || cat "$work/daytape.txt"
road_check "it holds the live report of 600002" grep -qE '^[0-9: -]+,600002,SH,齐鲁石化,10,.*,10\.6$' "$work/daytape.csv"
road_check "and no other" test "$(tail -n +2 "$work/daytape.csv" | grep -vc ',600002,')" -eq 0
[ "$road_fail" -eq 0 ] || { echo "--- day tape"; cat "$work/daytape.csv"; }
road_stop_all
exit "$road_fail"
