#!/usr/bin/env bash
# What became of every order, on the road of scripts/road.sh: the stand-in
# trading program answers like a broker (a contract number for an accepted
# order, a refusal box otherwise) and is given little cash, so that one buy
# of the replay example is refused for cash and the others are accepted.
# In both modes (keystroke and control-level) the program must read each
# answer before its script closes the box: the accepted orders carry their
# contract numbers in the list's "委托结果" column and in log\orders.csv,
# the refused one shows the broker's text there and its row stands out,
# the order-step log has one outcome line per order, and the trade log
# lines stay those of the replay.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_begin

road_example "$work" "$work/tape-e2e.csv"
# Sells bring cash, buys spend it: 500 + 10090 + 9900 - 10620 - 7730 leaves
# 2140, short of the last buy (510050, 2.525 x 1000).
refused_code=510050
road_trader_args=(--cash 500)
grep -v ",$refused_code," "$work/expected-orders.txt" >"$work/expected-accepted.txt"
echo "replay: $road_fires fires, $road_automatic orders, $(road_count_lines "$work/expected-accepted.txt") to be accepted"

csv_orders() { [ "$(tr -d '\r' <"$1" | tail -n +2 | grep -c .)" -ge "$2" ]; }

# run_mode <name> <profile> <host> <web port>
run_mode() {
  local name=$1 profile=$2 host=$3 web=$4
  local dir="$work/$name" csv
  echo "== $name ($profile) on $host"
  road_check "$name: logged in by itself and associated the trading program" \
    road_start "$dir" "$profile" "$host" "$web" "$work/policy.tmp" "$work/tape-e2e.csv"
  [ -n "${road_main:-}" ] || return 0
  road_check "$name: all monitors running" road_start_monitors "$dir" 8
  road_check "$name: the tape played" road_play "$dir" "$host" "$web" 0 "${#road_rows[@]}"
  csv="$dir/app/log/orders.csv"
  # Each outcome is final a few seconds after its script.
  road_check "$name: one outcome per order in orders.csv" road_wait_for 30 csv_orders "$csv" "$road_automatic"
  road_drive listview --window "$road_main" >"$dir/list.txt" || true
  road_shot "order_outcomes-$name.png"

  tr -d '\r' <"$dir/orders.txt" >"$dir/orders-unix.txt"
  road_check "$name: the trading program took every order but the one it refused" \
    cmp "$work/expected-accepted.txt" "$dir/orders-unix.txt"
  road_check "$name: the trade log lines are the replay's, apart from the clock" \
    cmp <(cut -d, -f3- "$work/replay-trade.log") <(cut -d, -f3- "$dir/app/log/trade.log")

  tr -d '\r' <"$csv" >"$dir/orders-csv.txt"
  road_check "$name: orders.csv is UTF-8 with its header" \
    test "$(head -n 1 "$dir/orders-csv.txt")" = $'\xEF\xBB\xBF时间,监控序号,代码,名称,买卖,价格,数量,结果,委托编号,券商提示'
  # time,id,code,name,side,price,quantity,result,number,text
  awk -F, 'NR > 1 && $8 == "已提交" && $9 ~ /^100[0-9][0-9]$/ { print $3 }' "$dir/orders-csv.txt" | sort >"$dir/accepted-codes.txt"
  cut -d, -f2 "$work/expected-accepted.txt" | sort >"$dir/expected-codes.txt"
  road_check "$name: every accepted order has its contract number" cmp "$dir/expected-codes.txt" "$dir/accepted-codes.txt"
  road_check "$name: the contract numbers are the trading program's, one each" \
    test "$(awk -F, 'NR > 1 && $9 != "" { print $9 }' "$dir/orders-csv.txt" | sort -u | grep -c .)" \
    -eq "$(road_count_lines "$work/expected-accepted.txt")"
  road_check "$name: the refused order has the broker's text" \
    grep -qx "[0-9: -]*,6,$refused_code,50ETF,买入,2.525,1000,被拒绝,,可用资金不足" "$dir/orders-csv.txt"

  # row, index, flags, image, then the cells: the monitor's id first, "委托结果" eighth.
  awk -F'\t' '$1 == "row" { print $5, $12 }' "$dir/list.txt" >"$dir/list-outcomes.txt"
  road_check "$name: the list shows the refusal in the refused order's row (the index monitor's)" \
    grep -qx "6 被拒绝：可用资金不足" "$dir/list-outcomes.txt"
  road_check "$name: the list shows a contract number in each accepted order's row" \
    test "$(grep -cE '^[0-9]+ 已提交 100[0-9][0-9]$' "$dir/list-outcomes.txt")" -eq \
    "$(road_count_lines "$work/expected-accepted.txt")"
  local steps
  steps=$(cat "$dir"/app/log/demo*.log 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' || true)
  road_check "$name: the order-step log has an outcome line per order" \
    test "$(grep -c '\[Result\]' <<<"$steps")" -eq "$road_automatic"
  road_check "$name: and the refusal among them" grep -q "\[Result\]#6 买入 $refused_code 50ETF 2.525 x 1000：被拒绝，提示框：可用资金不足" <<<"$steps"

  road_close_program
  road_stop_all
  if [ "$road_fail" -ne 0 ]; then
    echo "--- replay"; cat "$work/replay.txt"
    echo "--- orders"; cat "$dir/orders-unix.txt"
    echo "--- orders.csv"; cat "$dir/orders-csv.txt"
    echo "--- list"; cat "$dir/list.txt"
    echo "--- order steps"; echo "$steps" | grep -v '^$' | tail -n 40
  fi
}

run_mode keystroke simtrader_keystroke.ini 127.0.73.1 18173
run_mode controls simtrader_controls.ini 127.0.73.2 18174
exit "$road_fail"
