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
  # A code and a contract number begin with a tab, so that a spreadsheet keeps them as written.
  awk -F, 'NR > 1 && $8 == "已提交" && $9 ~ /^"\t100[0-9][0-9]"$/ { gsub(/["\t]/, "", $3); print $3 }' "$dir/orders-csv.txt" |
    sort >"$dir/accepted-codes.txt"
  cut -d, -f2 "$work/expected-accepted.txt" | sort >"$dir/expected-codes.txt"
  road_check "$name: every accepted order has its contract number" cmp "$dir/expected-codes.txt" "$dir/accepted-codes.txt"
  road_check "$name: the contract numbers are the trading program's, one each" \
    test "$(awk -F, 'NR > 1 && $9 != "" { print $9 }' "$dir/orders-csv.txt" | sort -u | grep -c .)" \
    -eq "$(road_count_lines "$work/expected-accepted.txt")"
  road_check "$name: the refused order has the broker's text" \
    grep -qx "[0-9: -]*,6,\"	$refused_code\",50ETF,买入,2.525,1000,被拒绝,,可用资金不足" "$dir/orders-csv.txt"

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

# Boxes that do not answer the order whose script is running. The trading
# program holds back the answers to 600000 (#1, taken) and to 600002 (#3,
# refused: its price lies above the limit) until the next order's script;
# it shows a fill notice of an earlier order before the answer to 510050
# (#6), and that answer, with a hint that says "不能", in an edit field past
# its 256th character. A slow answer cannot be told from the running
# order's own: both orders stay "结果未知", neither shows the other's result.
# The program is closed within the watch of the last order (#7): it is
# told as "结果未知（程序退出）". Each outcome is checked in the list,
# orders.csv and the webhook's record.
run_shapes() {
  local host=127.0.73.3 web=18175 dir="$work/shapes" csv
  echo "== boxes of other orders (simtrader_controls.ini) on $host"
  road_trader_args=(--limit 600002:9.000:10.500 --box 600000:late --box 600002:late
    --box 510050:fill --box 510050:hint --box 510050:edit)
  road_prepare_app() {
    printf '[webhook]\r\nenabled=1\r\nurl=http://%s:%s/hook/plain\r\n' "$host" "$web" >"$1/notify.ini"
    # Long enough a watch for the close to fall inside the last one.
    printf '[委托结果]\r\n观察毫秒=10000\r\n' | iconv -f UTF-8 -t GBK >"$1/orderwords.ini"
  }
  road_check "shapes: logged in by itself and associated the trading program" \
    road_start "$dir" simtrader_controls.ini "$host" "$web" "$work/policy.tmp" "$work/tape-e2e.csv"
  unset -f road_prepare_app
  [ -n "${road_main:-}" ] || return 0
  road_check "shapes: all monitors running" road_start_monitors "$dir" 8
  local last i
  for i in "${!road_rows[@]}"; do [[ "${road_rows[$i]}" == *",600005,"*",9.90" ]] && last=$i; done
  road_check "shapes: the tape played up to the last order's row" road_play "$dir" "$host" "$web" 0 "$last"
  csv="$dir/app/log/orders.csv"
  road_check "shapes: the outcomes of the orders before it in orders.csv" \
    road_wait_for 40 csv_orders "$csv" $((road_automatic - 1))
  road_drive listview --window "$road_main" >"$dir/list.txt" || true
  road_shot "order_outcomes-shapes.png"
  road_check "shapes: the last order's row played" road_play "$dir" "$host" "$web" "$last" $((last + 1))
  sleep 1
  road_close_program
  road_check "shapes: its outcome was written when the program closed" \
    road_wait_for 30 csv_orders "$csv" "$road_automatic"
  road_check "shapes: and pushed" road_wait_for 15 pushed_outcomes "$dir/record.jsonl" "$road_automatic"

  awk -F'\t' '$1 == "row" { print $5 "|" $12 }' "$dir/list.txt" >"$dir/list-outcomes.txt"
  road_check "shapes: each outcome in the list, orders.csv and the push record" \
    python3 - "$csv" "$dir/list-outcomes.txt" "$dir/record.jsonl" <<'PY'
import csv, json, re, sys
want = {1: "结果未知", 2: "结果未知", 3: "结果未知", 4: "结果未知", 6: "已提交", 7: "结果未知（程序退出）"}
ok = True
rows = list(csv.reader(open(sys.argv[1], encoding="utf-8-sig", newline="")))[1:]
got = {int(r[1]): r for r in rows}
if sorted(got) != sorted(want) or len(rows) != len(want):
    print(f"   orders.csv has the monitors {sorted(int(r[1]) for r in rows)}"); ok = False
number = ""
for mid, result in want.items():
    r = got.get(mid)
    if not r or r[7] != result:
        print(f"   orders.csv #{mid}: {r}"); ok = False
        continue
    if not r[2].startswith("\t") or r[2][1:] not in ("600000", "600001", "600002", "600003", "510050", "600005"):
        print(f"   orders.csv #{mid}: the code {r[2]!r} is not kept as text"); ok = False
    if mid == 6:
        number = r[8].lstrip("\t")
        if not re.fullmatch(r"100\d\d", number) or "当日不能卖出" not in r[9] or "已全部成交" in r[9]:
            print(f"   orders.csv #6: {r}"); ok = False
    elif r[8]:
        print(f"   orders.csv #{mid} has an order number: {r}"); ok = False
# The slow answers are in the records of the orders they came during.
if "合同编号：10001" not in got.get(2, [""] * 10)[9] or "超出涨跌停限制" not in got.get(4, [""] * 10)[9]:
    print(f"   the slow answers are not in the records of #2 and #4"); ok = False
cells = dict(l.rstrip("\n").split("|", 1) for l in open(sys.argv[2], encoding="utf-8") if "|" in l)
for mid, result in want.items():
    if mid == 7:
        continue  # the window is gone
    cell = cells.get(str(mid), "")
    expect = f"已提交 {number}" if mid == 6 else result
    if cell != expect:
        print(f"   list #{mid}: {cell!r}, not {expect!r}"); ok = False
hooks = [json.loads(l) for l in open(sys.argv[3], encoding="utf-8") if '"event":"hook"' in l]
outcomes = [h["body"] for h in hooks if h.get("channel") == "plain" and h.get("ok") and h["body"].get("event") == "outcome"]
pushed = {b["monitor_id"]: b for b in outcomes}
if len(outcomes) != len(want):
    print(f"   {len(outcomes)} outcomes pushed: {outcomes}"); ok = False
for mid, result in want.items():
    b = pushed.get(mid)
    if not b or b["outcome"] != result or (b["order_no"] != (number if mid == 6 else "")):
        print(f"   pushed #{mid}: {b}"); ok = False
sys.exit(0 if ok else 1)
PY
  road_stop_all
  if [ "$road_fail" -ne 0 ]; then
    echo "--- orders.csv"; cat "$csv" 2>/dev/null || true
    echo "--- list"; cat "$dir/list-outcomes.txt"
  fi
}
pushed_outcomes() { [ "$(grep '"event":"hook"' "$1" 2>/dev/null | grep '"ok":true' | grep -c '"event":"outcome"')" -ge "$2" ]; }

run_shapes
exit "$road_fail"
