#!/usr/bin/env bash
# The monitor editors, worked from another process as a user works them, in
# one logged-in quorvel.exe with the shipped engine polling the stand-in
# server's quote formats: each editor is opened from the toolbar or the menu, refuses what
# it must, looks a code up, saves a monitor after the confirmation, and the
# monitor appears in the list; at the end the saved store holds each one.
# A screenshot of every editor goes into the test logs.
#
# One block per editor: a function editor_<name> that works its dialog and
# adds the lines the saved store must contain to `expected`, listed in
# `editors` below.
set -uo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
. "$ROOT/scripts/road.sh"
logs="$ROOT/build/test-logs"
for f in "$road_app/quorvel.exe" "$road_driver" "$road_server" "$road_account" "$road_engine" "$road_tool"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done
mkdir -p "$logs"
host=127.0.64.11
web=18164

work=$(mktemp -d "$ROOT/build/e2e-editors.XXXXXX")
export ROAD_DRIVER_LOG="$work/driver.err"
pid=""
server_pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

shot() { DISPLAY="$DISPLAY" import -window root "$logs/$1.png" 2>/dev/null || true; }
# pane_says <dialog title> <pane> <text>: a pane of the editor's status bar.
pane_says() { road_drive statusbar --title "$1" --exact --until "$3" --timeout-ms 5000 | grep -P "^pane\t$2\t" | grep -qF "$3"; }
status_says() { pane_says "$1" 1 "$2"; }
shows_text() { road_drive children --title "$1" --exact --until "$2" --timeout-ms 5000 | awk -F'\t' -v t="$2" '$6 == t { found = 1 } END { exit !found }'; }
logged_in() { road_drive statusbar --title "$caption" --exact | grep -qP '^pane\t1\t\d+\tID：editor01$'; }
# field_is <dialog title> <id> <text>
field_is() { road_drive children --title "$1" --exact --until "$3" --timeout-ms 5000 | awk -F'\t' -v id="$2" -v t="$3" \
  '$1 == "child" && $4 == id && $6 == t { found = 1 } END { exit !found }'; }
# type_code <dialog title> <id> <code>: the code as pasted, then a key released in the box.
field() { road_drive set-text --title "$1" --exact --id "$2" "$3" >/dev/null; } # <title> <id> <text>
press_ok() { road_drive click --title "$1" --exact --text "确定[&O]" >/dev/null || true; } # <title>
# fill_ok <title> <set price> <quantity> <own field>: the three fields, then OK.
fill_ok() { field "$1" "$id_set_price" "$2"; field "$1" "$id_quantity" "$3"; field "$1" "$id_own" "$4"; press_ok "$1"; }
type_code() { road_drive set-text --title "$1" --exact --id "$2" "$3" >/dev/null && road_drive key --title "$1" --exact --id "$2" End >/dev/null; }
list_shows() { road_drive listview --title "$caption" --exact | grep -qP "$1"; }
list_has() { road_wait_for 5 list_shows "$1"; }

# The fields every editor shares (the frame's identifiers).
id_code=3001
id_name=3002
id_set_price=3003
id_quantity=3004
id_own=3100

# Two securities and an index on the tape; the engine answers lookups with what was played.
cat >"$work/tape.csv" <<'EOF'
time,code,market,name,prev_close,open,high,low,price
2026-12-09 10:00:00,600000,SH,浦发银行,10.100,10.200,10.400,10.000,10.230
2026-12-09 10:00:01,000001,SZ,平安银行,12.000,11.900,12.500,11.800,12.345
2026-12-09 10:00:02,1A0001,SH,上证指数,3000.000,3001.000,3020.000,2990.000,3012.345
EOF

timeout 300 "$road_server" --host "$host" --web-port "$web" --quote-port 17764 --user editor01:pw1234 \
  --tape "$work/tape.csv" --record "$work/record.jsonl" >"$work/server.txt" 2>&1 &
server_pid=$!
road_wait_for 10 grep -q "ready on $host" "$work/server.txt" || { cat "$work/server.txt"; exit 1; }

# The application folder with the stand-in account service, the engine
# pointed at this server, the start-up notice switched off, and the
# remembered user of option.opt.
cp -r "$road_app" "$work/app"
cp "$road_account" "$work/app/"
road_install_engine "$work/app" "$host" "$web"
# One monitor that never fires (a buy-and-sell pair), so that starting it
# subscribes 600000 and the server plays its tape.
python3 - "$work/app/data/policy.tmp" <<'PY'
import struct, sys
r = bytearray(673)
struct.pack_into('<iB', r, 0, 0, 3)
r[5:11] = b'600000'
struct.pack_into('<i', r, 47, 1)
r[56] = 1
open(sys.argv[1], 'wb').write(bytes(r))
PY
iconv -f GBK -t UTF-8 "$road_app/setup.ini" | sed 's/^关闭启动提示=.*/关闭启动提示=1/' | iconv -f UTF-8 -t GBK >"$work/app/setup.ini"
printf '%s\r\n' "$host" >"$work/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
python3 "$ROOT/tests/tools/write_options.py" "$work/app/option.opt" "$host" editor01 pw1234

caption="$road_caption"
(cd "$work/app" && exec "$QV_WINE" quorvel.exe </dev/null >"$work/program.out" 2>&1) &
pid=$!
# The remembered user logs in at once, without waiting for the automatic login.
road_drive click --title "用户登录" --exact --text "确定" --timeout-ms 30000 >/dev/null || true
# No trading program runs here: the association after the login says so.
road_drive answer --title "Tarvolen-Merrowick" --exact --button "确定" --timeout-ms 40000 >/dev/null || true
road_check "logged in" road_wait_for 20 logged_in
road_drive toolbar-click --title "$caption" --exact --text "启动所有监控" >/dev/null || true
road_check "the tape plays" road_wait_for 10 grep -q '"event":"quote-play-start"' "$work/record.jsonl"

expected=()

editor_price() {
  local t="添加按价位监视"
  road_drive toolbar-click --title "$caption" --exact --text "按价位监控" >/dev/null || true
  road_check "price: the add dialog opens from the toolbar" road_drive wait-window --title "$t" --exact --timeout-ms 10000 >/dev/null
  road_drive children --title "$t" --exact >"$work/price-children.txt" || true
  road_check "price: the group and its fields" grep -qP "\t策略设置\t" "$work/price-children.txt"
  road_check "price: the status bar's caption" pane_says "$t" 0 "提示："
  press_ok "$t"
  road_check "price: OK without a code is refused" status_says "$t" "证券代码不正确！"
  type_code "$t" "$id_code" 600000
  road_check "price: the lookup fills the name" field_is "$t" "$id_name" "浦发银行"
  road_check "price: the live price comes" shows_text "$t" "10.230"
  field "$t" "$id_set_price" "abc"
  press_ok "$t"
  road_check "price: a set price that is no number is refused" status_says "$t" "设定价位不是有效的数字！"
  # Falling (the first direction), 0.001 above the newest price: refused; 10.2 passes.
  fill_ok "$t" "10.231" "500" "0.1"
  road_check "price: falling above the newest price is refused" status_says "$t" "下涨或下跌中反弹，设定价必须小于当前价！"
  field "$t" "$id_set_price" "10.2"
  road_drive click --title "$t" --exact --text "元" >/dev/null || true
  shot editor-price
  press_ok "$t"
  road_drive dialog --title "确认提示！" --exact >"$work/price-confirm.txt" || true
  road_check "price: the confirmation states the rule" grep -q "当相对设定价位10.200下跌0.100元时及时提示卖出500股" "$work/price-confirm.txt"
  road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
  road_check "price: Yes closes the dialog" road_drive wait-gone --title "$t" --exact --timeout-ms 5000
  road_check "price: the monitor is in the list" list_has "价位-卖出\t600000\t浦发银行\t10.200"
  expected+=("价位-卖出 600000 浦发银行 market=SH running .* set=10.200 .*当相对设定价位10.200下跌0.100元时及时提示卖出500股")
}

editor_time() {
  local t="添加按时间监视"
  road_drive toolbar-click --title "$caption" --exact --text "按时间监控" >/dev/null || true
  road_check "time: the add dialog opens from the toolbar" road_drive wait-window --title "$t" --exact --timeout-ms 10000 >/dev/null
  type_code "$t" "$id_code" 000001
  road_check "time: the lookup fills the name" field_is "$t" "$id_name" "平安银行"
  road_drive click --title "$t" --exact --text "用即时成交价" >/dev/null || true
  road_check "time: the trade price stands in the set-price field" field_is "$t" "$id_set_price" "即时成交价"
  field "$t" "$id_quantity" "300"
  field "$t" "$id_own" "25:00"
  press_ok "$t"
  road_check "time: an order time that is no time of day is refused" status_says "$t" "下单时间不正确，请按“小时:分钟”(24小时)输入！"
  field "$t" "$id_own" "14:45"
  road_drive click --title "$t" --exact --text "买入" >/dev/null || true
  shot editor-time
  press_ok "$t"
  road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
  road_check "time: Yes closes the dialog" road_drive wait-gone --title "$t" --exact --timeout-ms 5000
  road_check "time: the monitor is in the list" list_has "时间-买入\t000001\t平安银行"
  expected+=("时间-买入 000001 平安银行 market=SZ running .* at=14:45 .*在14:45时按设定价位提示买入300股")
}

# The menu items of the editors without a toolbar button (Cmd::AddLimitDown, Cmd::AddIndex).
cmd_add_limitdown=40014
cmd_add_index=40015

editor_payoff() {
  local t="添加移动止盈"
  road_drive toolbar-click --title "$caption" --exact --text "添加移动止盈" >/dev/null || true
  road_check "payoff: the add dialog opens from the toolbar" road_drive wait-window --title "$t" --exact --timeout-ms 10000 >/dev/null
  press_ok "$t"
  road_check "payoff: OK without a code is refused" status_says "$t" "证券代码不正确！"
  type_code "$t" "$id_code" 600000
  road_check "payoff: the lookup fills the name" field_is "$t" "$id_name" "浦发银行"
  field "$t" "$id_quantity" "1千"
  press_ok "$t"
  road_check "payoff: a quantity that is no whole number is refused" status_says "$t" "卖出数量不是有效的整数！"
  road_drive click --title "$t" --exact --text "用昨收价" >/dev/null || true
  road_check "payoff: the basis stands in the set-price field" field_is "$t" "$id_set_price" "用昨收价"
  field "$t" "$id_quantity" "1000"
  field "$t" "$id_own" "2"
  road_drive click --title "$t" --exact --text "%" >/dev/null || true
  road_drive click --title "$t" --exact --text "采用自动交易" >/dev/null || true
  shot editor-payoff
  press_ok "$t"
  road_drive dialog --title "确认提示！" --exact >"$work/payoff-confirm.txt" || true
  road_check "payoff: the confirmation states the rule" \
    grep -q "当高于设定价位10.100后回落2.000%且大于设定价时自动卖出1000股" "$work/payoff-confirm.txt"
  road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
  road_check "payoff: Yes closes the dialog" road_drive wait-gone --title "$t" --exact --timeout-ms 5000
  road_check "payoff: the monitor is in the list" list_has "止盈-卖出\t600000\t浦发银行\t10.100"
  expected+=("止盈-卖出 600000 浦发银行 market=SH running .* set=10.100 .*当高于设定价位10.100后回落2.000%且大于设定价时自动卖出1000股")
}

editor_losslimit() {
  local t="添加条件止损"
  road_drive toolbar-click --title "$caption" --exact --text "添加条件止损" >/dev/null || true
  road_check "stop-loss: the add dialog opens from the toolbar" road_drive wait-window --title "$t" --exact --timeout-ms 10000 >/dev/null
  type_code "$t" "$id_code" 000001
  road_check "stop-loss: the lookup fills the name" field_is "$t" "$id_name" "平安银行"
  road_check "stop-loss: the live price comes" shows_text "$t" "12.345"
  # Another code pasted over it, no key released: looked up all the same,
  # and the stop-loss is held to the new security's price.
  road_drive set-text --title "$t" --exact --id "$id_code" 600000 >/dev/null
  road_check "stop-loss: a pasted code is looked up" field_is "$t" "$id_name" "浦发银行"
  road_check "stop-loss: the pasted code's live price comes" shows_text "$t" "10.230"
  fill_ok "$t" "12.3" "200" "0.2"
  road_check "stop-loss: checked against the pasted code's price" status_says "$t" "设定价不能大于现价！"
  shot editor-losslimit-pasted
  road_drive set-text --title "$t" --exact --id "$id_code" 000001 >/dev/null
  road_check "stop-loss: the first code pasted back is looked up" field_is "$t" "$id_name" "平安银行"
  fill_ok "$t" "12.346" "200" "0.2"
  road_check "stop-loss: a set price above the current price is refused" status_says "$t" "设定价不能大于现价！"
  field "$t" "$id_set_price" "12.3"
  shot editor-losslimit
  press_ok "$t"
  road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
  road_check "stop-loss: Yes closes the dialog" road_drive wait-gone --title "$t" --exact --timeout-ms 5000
  expected+=("止损-卖出 000001 平安银行 market=SZ running .* set=12.300 .*当相对于设定价12.300下跌0.200元时及时提示卖出200股")
}

editor_limitdown() {
  local t="添加限价下跌反弹"
  road_drive command --title "$caption" --exact --id "$cmd_add_limitdown" >/dev/null || true
  road_check "rebound: the add dialog opens from the menu" road_drive wait-window --title "$t" --exact --timeout-ms 10000 >/dev/null
  type_code "$t" "$id_code" 600000
  road_check "rebound: the lookup fills the name" field_is "$t" "$id_name" "浦发银行"
  # The newest price, 10.23 at two decimals, is the most the set price may be.
  fill_ok "$t" "10.231" "300" "0.1"
  road_check "rebound: a set price above the newest price is refused" status_says "$t" "设定价不能大于现价！"
  field "$t" "$id_set_price" "10.1"
  shot editor-limitdown
  press_ok "$t"
  road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
  road_check "rebound: Yes closes the dialog" road_drive wait-gone --title "$t" --exact --timeout-ms 5000
  expected+=("限跌-买入 600000 浦发银行 market=SH running .* set=10.100 .*当低于设定价位10.100后反弹0.100元且小于设定价时提示买入300股")
}

editor_index() {
  local t="添加指数策略" list=$((id_own + 1)) value=$((id_own + 2))
  road_drive command --title "$caption" --exact --id "$cmd_add_index" >/dev/null || true
  road_check "index: the add dialog opens from the menu" road_drive wait-window --title "$t" --exact --timeout-ms 10000 >/dev/null
  road_check "index: the list holds the shipped indexcode.txt" \
    grep -qP "^row\t4\t.*\t中证500  399905$" <(road_drive listview --title "$t" --exact --id "$list")
  press_ok "$t"
  road_check "index: OK without a target is refused" status_says "$t" "目标证券不正确！"
  type_code "$t" "$id_code" 000001
  road_check "index: the target's lookup fills its name" field_is "$t" "$id_name" "平安银行"
  field "$t" "$id_quantity" "100"
  field "$t" "$id_own" "5"
  press_ok "$t"
  road_check "index: OK without an index is refused" status_says "$t" "没有选择监控指数，请选择！"
  # Space on a row of the check list ticks it; the index is looked up.
  road_drive listview-select --title "$t" --exact --id "$list" 0 >/dev/null || true
  road_drive key --title "$t" --exact --id "$list" Space >/dev/null || true
  road_check "index: the ticked index shows its value" field_is "$t" "$value" "3012.345"
  field "$t" "$id_set_price" "3012.345"
  press_ok "$t"
  road_check "index: rising to the current value is refused" status_says "$t" "当跟踪方式为上涨时，设定点位必须大于当前点位！"
  field "$t" "$id_set_price" "3020"
  shot editor-index
  press_ok "$t"
  road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
  road_check "index: Yes closes the dialog" road_drive wait-gone --title "$t" --exact --timeout-ms 5000
  road_check "index: the monitor is in the list" list_has "指数-卖出\t1A0001\t上证指数\t3020.000"
  expected+=("指数-卖出 1A0001 上证指数 market=SH running .* set=3020.000 .*当所监控的上证指数相对于设定点位3020.000上涨5.000点时及时提示卖出100股")
}

editors=(editor_price editor_time editor_payoff editor_losslimit editor_limitdown editor_index)
for editor in "${editors[@]}"; do "$editor"; done

# A double click opens a saved monitor for modifying, with its values.
road_drive listview-dblclick --title "$caption" --exact 1 >/dev/null || true
road_check "modify: the price editor opens with the monitor" field_is "修改按价位监视" "$id_set_price" "10.200"
# A changed set price, confirmed, replaces the monitor in its row.
road_drive set-text --title "修改按价位监视" --exact --id "$id_set_price" "10.15" >/dev/null
road_drive click --title "修改按价位监视" --exact --text "确定[&O]" >/dev/null || true
road_drive answer --title "确认提示！" --exact --button "是" >/dev/null || true
road_check "modify: OK and Yes close it" road_drive wait-gone --title "修改按价位监视" --exact --timeout-ms 5000
road_check "modify: the row shows the new set price" list_has "价位-卖出\t600000\t浦发银行\t10.150"
expected[0]="价位-卖出 600000 浦发银行 market=SH running .* set=10.150 .*当相对设定价位10.150下跌0.100元时及时提示卖出500股"
# The index monitor (the last row) opens with its target in the code box.
road_drive listview-dblclick --title "$caption" --exact 6 >/dev/null || true
road_check "modify: the index editor opens with the target" field_is "修改指数策略" "$id_code" "000001"
road_drive key --title "修改指数策略" --exact Escape >/dev/null || true
road_check "modify: Esc closes the index editor" road_drive wait-gone --title "修改指数策略" --exact --timeout-ms 5000

# Closing saves the store with every monitor the editors made.
road_drive close --title "$caption" --exact >/dev/null || true
road_drive answer --title "提示" --button "是" >/dev/null || true
ended() { ! kill -0 "$pid" 2>/dev/null; }
road_check "the program ends after saving" road_wait_for 30 ended
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null
pid=""
"$road_tool" policy-dump "$work/app/data/policy.tmp" >"$work/saved.txt" 2>&1 || true
road_check "the store holds the first monitor and one per editor" test "$(grep -c . "$work/saved.txt")" -eq "$((${#expected[@]} + 1))"
for line in "${expected[@]}"; do
  road_check "saved: ${line%% *} ${line#* }" grep -qP "^\d+ $line" "$work/saved.txt"
done

if [ "$road_fail" -ne 0 ]; then
  echo "--- program output"; tail -n 60 "$work/program.out" || true
  echo "--- driver errors"; tail -n 30 "$work/driver.err" || true
  echo "--- saved store"; cat "$work/saved.txt" || true
  echo "--- price editor"; cat "$work/price-children.txt" || true
  road_drive windows
fi
exit "$road_fail"
