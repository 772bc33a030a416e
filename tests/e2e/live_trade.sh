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

# More of the moment for the day: 600000 rises over its take-profit's set
# price to 10.80 and falls back 0.40, less than the 0.50 that would sell.
# Each waits until the main window shows it, so that none is skipped.
for price in 10.2 10.8 10.4; do
  curl -sf -d "{\"code\":\"600000\",\"name\":\"浦发银行\",\"prevClose\":10.0,\"price\":$price}" \
    "http://$host:$web/admin/quote" >"$work/quote.json"
  road_check "600000 at $price reaches the program" road_wait_for 15 road_list_shows "600000" "$price"
done

# The day replayed in "工具" > "回测…", while the program still records it:
# the day box offers the recorded Monday, the store replayed on it gives
# what quorvel-tool replay computes from the day tape itself.
tapes="$dir/app/data/tapes"
road_drive command --window "$road_main" --id 40101 >/dev/null || true
road_drive wait-window --title "回测" --exact >"$work/replay-window.txt" || true
road_check "the replay window opens from the menu" grep -q "回测" "$work/replay-window.txt"
road_check "its day box offers the day being recorded" \
  grep -qP "^child\t.*\tComboBox\t2012-05-21" <(road_drive children --title "回测" --exact)
road_check "the day tape is on disk once the window asked for it" test -s "$tapes/20120521"
road_drive listview --title "回测" --exact --id 205 --until $'rows\t8' >"$work/monitors.txt" || true
road_check "the store's eight monitors to choose from" grep -q "^rows	8" "$work/monitors.txt"
road_drive click --title "回测" --exact --text "开始回测" >/dev/null || true
road_drive listview --title "回测" --exact --id 206 --until $'rows\t8' >"$work/results.txt" || true
road_check "eight result rows" grep -q "^rows	8" "$work/results.txt"
cp "$work/policy.tmp" "$work/store-copy.tmp"
"$road_tool" replay --store "$work/store-copy.tmp" --tape "$tapes/20120521" --start all >"$work/tool.txt" 2>&1 || true
road_check "the tool fires once on the day tape" test "$(grep -c ' fire #' "$work/tool.txt")" -eq 1
while read -r _ when _ id _ _ _ _ _ _ price _; do
  road_check "fire #${id#\#} at $when, order price $price, as the tool" \
    grep -qP "^row\t\d+\t[^\t]*\t[^\t]*\t${id#\#}\t[^\t]*\t[^\t]*\t[^\t]*\t触发\t$when\t.*\Q $price \E" "$work/results.txt"
done < <(grep ' fire #' "$work/tool.txt")
road_check "the take-profit held at a fall of 0.40 from its high of 10.800" \
  grep -qP "^row\t\d+\t.*\t1\t600000\t浦发银行\t移动止盈\t未触发\t.*\t最高价 10.800" "$work/results.txt"
road_check "the status line counts the reports and the fire" \
  grep -qP "回测 4 条行情：8 个监控，1 个触发" <(road_drive children --title "回测" --exact)
road_shot "live_trade-replay.png"
# The take-profit's chart (its row, then the save dialog) as a picture.
row=$(awk -F'\t' '$1 == "row" && $5 == "1" { print $2; exit }' "$work/results.txt")
road_drive listview-select --title "回测" --exact --id 206 "${row:-0}" >/dev/null || true
road_drive click --title "回测" --exact --text "保存图表…" >/dev/null || true
road_file_dialog "保存图表" "$work/chart.png"
road_check "the chart is saved as a PNG picture" road_wait_for 10 \
  bash -c "head -c 8 '$work/chart.png' 2>/dev/null | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a'"
mkdir -p "$road_logs" && cp "$work/chart.png" "$road_logs/live_trade-chart.png" 2>/dev/null || true
road_shot "live_trade-replay-chart.png"
road_check "the replay sent no order" test "$(tr -d '\r' <"$dir/orders.txt" | grep -c .)" -eq 1
[ "$road_fail" -eq 0 ] || { echo "--- results"; cat "$work/results.txt"; echo "--- tool"; cat "$work/tool.txt"; echo "--- main list"; road_drive listview --window "$road_main"; echo "--- replay window"; road_drive children --title "回测" --exact; }
road_drive close --title "回测" --exact >/dev/null || true

road_close_program
# What the program received went into the day's tape, written out at the
# latest when it ends: the live reports, and none of the stale ones.
road_check "the day tape is written when the program ends" \
  road_wait_for 30 bash -c "ls '$tapes' 2>/dev/null | grep -qxE '[0-9]{8}'"
tape_file="$tapes/$(ls "$tapes" 2>/dev/null | head -n 1)"
"$road_tool" tape "$tape_file" "$work/daytape.csv" >"$work/daytape.txt" 2>&1 || cat "$work/daytape.txt"
road_check "it holds the live report of 600002" grep -qE '^[0-9: -]+,600002,SH,齐鲁石化,10,.*,10\.6$' "$work/daytape.csv"
road_check "and those of 600000" test "$(grep -c ',600000,' "$work/daytape.csv")" -eq 3
road_check "and none of Friday" test "$(tail -n +2 "$work/daytape.csv" | grep -vc '^2012-05-21 ')" -eq 0
[ "$road_fail" -eq 0 ] || { echo "--- day tape"; cat "$work/daytape.csv"; }
road_stop_all
exit "$road_fail"
