#!/usr/bin/env bash
# The settings dialogs of quorvel.exe, worked from another process against
# quorvel-sim-server's file server: after the login no trading program
# matches the active profile, so the association falls back on "下载配置";
# there the user fetches the list, searches (the list itself, then the
# server), downloads and applies the profile of the stand-in trading
# program, which the program then associates. In "设置" the trading
# window's slider moves and OK saves it and a box; the caption tool's
# finder, dragged onto a button of the trading program, reads the button's
# parents' titles, and its OK writes the new fragment into the profile and
# associates again. Screenshots of the three dialogs go into the test logs.
set -uo pipefail

: "${ROOT:?}" "${QV_WINE64:?}"
app="$ROOT/build/win64/app"
driver="$ROOT/build/win64/tests/qv-uidriver.exe"
server="$ROOT/build/native/sim/server/quorvel-sim-server"
velmora="$ROOT/build/win64/sim/account_service/velmora.dll"
drasken="$ROOT/build/win64/sim/quote_engine/drasken.dll"
trader="$ROOT/build/win64/sim/trader/simtrader.exe"
logs="$ROOT/build/test-logs"
for f in "$app/quorvel.exe" "$driver" "$server" "$velmora" "$drasken" "$trader"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done
mkdir -p "$logs"
host=127.0.65.9
web=18165

work=$(mktemp -d "$ROOT/build/e2e-settings-dialogs.XXXXXX")
pid=""
server_pid=""
trader_pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -n "$trader_pid" ] && kill "$trader_pid" 2>/dev/null && wait "$trader_pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
drive() { "$QV_WINE64" "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'; }
wait_for() { # FILE PATTERN SECONDS
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
gbk_has() { iconv -f GBK -t UTF-8 "$1" | tr -d '\r' | grep -qx "$2"; }
shot() { DISPLAY="$DISPLAY" import -window root "$logs/$1" 2>/dev/null || true; }
main=(--title "Merrowick" --class QvWindow)

# The server offers the stand-in trading program's profile under another
# name and title, and one more.
mkdir -p "$work/served"
iconv -f GBK -t UTF-8 "$ROOT/dist/settings/simtrader_keystroke.ini" |
  sed 's/^窗口标题=.*/窗口标题=模拟交易终端/' | iconv -f UTF-8 -t GBK >"$work/served/模拟交易.ini"
cp "$ROOT/dist/settings/simtrader_controls.ini" "$work/served/国信证券.ini"
timeout 300 "$server" --host "$host" --web-port "$web" --quote-port 17765 --user trader01:pw6543 \
  --profiles "$work/served" --record "$work/record.jsonl" >"$work/server.txt" 2>&1 &
server_pid=$!
wait_for "$work/server.txt" "ready on $host" 10 || { cat "$work/server.txt"; exit 1; }

"$QV_WINE64" "$trader" --title "模拟交易终端 8.1" --orders "Z:$work/orders.txt" </dev/null >/dev/null 2>&1 &
trader_pid=$!

# The application folder: the stand-ins, this server, auto-login, no notice.
cp -r "$app" "$work/app"
cp "$velmora" "$drasken" "$work/app/"
printf '%s\r\n' "$host" >"$work/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
iconv -f GBK -t UTF-8 "$work/app/setup.ini" | sed 's/^关闭启动提示=.*/关闭启动提示=1\r/' |
  iconv -f UTF-8 -t GBK >"$work/setup.ini" && mv "$work/setup.ini" "$work/app/setup.ini"
python3 "$ROOT/tests/tools/write_options.py" "$work/app/option.opt" "$host" trader01 pw6543

drive wait-window --title "模拟交易终端 8.1" --exact --timeout-ms 30000 >/dev/null || true
cd "$work/app"
"$QV_WINE64" quorvel.exe </dev/null >"$work/program.out" 2>&1 &
pid=$!
cd "$work"

# The remembered login, confirmed at once; the shipped profile's title
# matches nothing.
drive wait-window --title "用户登录" --exact --timeout-ms 30000 >/dev/null || true
drive click --title "用户登录" --exact --text "确定" >/dev/null || true
drive dialog --title "Tarvolen-Merrowick" --exact --until "没有找到证券交易系统" --timeout-ms 40000 >"$work/assoc.txt" || true
check "the association found no trading program" grep -q "没有找到证券交易系统" "$work/assoc.txt"
drive answer --title "Tarvolen-Merrowick" --exact --button "确定" >/dev/null || true

# ... and fell back on the profile dialog.
drive wait-window --title "下载配置 (当前配置: simtrader_keystroke.ini)" --exact --timeout-ms 15000 >"$work/profile.txt" || true
check "the profile dialog opened with the active profile in its caption" grep -q "下载配置" "$work/profile.txt"
dlg=(--title "下载配置" --class QvWindow)
drive click "${dlg[@]}" --text "获取配置列表[&G]" >/dev/null || true
drive listview "${dlg[@]}" --until $'rows\t2' >"$work/list.txt" || true
check "the server's list" grep -qP "^row\t1\t.*\t模拟交易.ini$" "$work/list.txt"
shot settings_dialogs-profile.png
search_id=$(drive children "${dlg[@]}" | awk -F'\t' '$5 == "Edit" && $6 == "" { print $4; exit }')
drive keys "${dlg[@]}" --id "$search_id" "国信" >/dev/null || true
drive click "${dlg[@]}" --text "查找" >/dev/null || true
drive listview "${dlg[@]}" --until "selected" >"$work/found.txt" || true
check "a search found in the list selects it" grep -qP "^row\t0\tselected.*\t国信证券.ini$" "$work/found.txt"
check "... without asking the server" bash -c "! grep -q '\"command\":3010' '$work/record.jsonl'"
drive keys "${dlg[@]}" --id "$search_id" "x" >/dev/null || true
drive click "${dlg[@]}" --text "查找" >/dev/null || true
check "a search the list cannot answer goes to the server" wait_for "$work/record.jsonl" '"command":3010.*"name":"国信x"' 10
drive listview "${dlg[@]}" --until $'rows\t0' >/dev/null || true
# The whole list again, the stand-in's profile chosen, applied.
drive click "${dlg[@]}" --text "获取配置列表[&G]" >/dev/null || true
drive listview "${dlg[@]}" --until $'rows\t2' >/dev/null || true
drive listview-select "${dlg[@]}" 1 >/dev/null || true
drive listview "${dlg[@]}" --until "selected" >/dev/null || true
drive click "${dlg[@]}" --text "应用配置[&S]" >/dev/null || true
check "the dialog closed once the trading program was found" drive wait-gone "${dlg[@]}" --timeout-ms 20000
check "the profile was downloaded into settings" cmp "$work/served/模拟交易.ini" "$work/app/settings/模拟交易.ini"
check "it is the active profile" gbk_has "$work/app/config.ini" "行情交易配置文件名称=模拟交易.ini"
drive statusbar "${main[@]}" --until "和交易软件关联：模拟交易终端" --timeout-ms 15000 >"$work/status.txt" || true
check "the stand-in trading program is associated" grep -q "和交易软件关联：模拟交易终端" "$work/status.txt"
check "one connection served every request" test "$(grep -c '"event":"file-connection","open":true' "$work/record.jsonl")" -eq 1
check "list, search, list and download reached the server" \
  test "$(grep -o '"command":30[0-9]*' "$work/record.jsonl" | tr -d '"command:' | paste -sd,)" = "3008,3010,3008,3009"

# "设置": the grid of 参数配置, a box ticked, saved into setup.ini.
drive command "${main[@]}" --id 40022 >/dev/null || true
drive listview --title "设置" --exact --class QvWindow --until "防止锁定刷新时间(秒)" >"$work/grid.txt" || true
check "the settings grid shows section 参数配置" grep -qP "\t防止锁定刷新时间\(秒\)\t300$" "$work/grid.txt"
shot settings_dialogs-settings.png
cfg=(--title "设置" --exact --class QvWindow)
drive children "${cfg[@]}" >"$work/settings.txt" || true
slider_id=$(awk -F'\t' '$5 == "msctls_trackbar32" { print $4; exit }' "$work/settings.txt")
drive key "${cfg[@]}" --id "$slider_id" Left >/dev/null || true
drive children "${cfg[@]}" --until $'\t254\t' >"$work/settings-after.txt" || true
check "the trading window's slider moved" grep -qP "\tStatic\t254\t" "$work/settings-after.txt"
drive click "${cfg[@]}" --text "自动登录" >/dev/null || true
drive click "${cfg[@]}" --text "确定[&O]" >/dev/null || true
drive wait-gone "${cfg[@]}" >/dev/null || true
check "OK saved the slider's opacity into setup.ini" gbk_has "$work/app/setup.ini" "下单软件透明度=254"
check "OK saved the auto-login choice into option.opt" \
  python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read()[170] != 0)' "$work/app/option.opt"

# The caption tool: the finder dragged onto a button of the trading program.
drive command "${main[@]}" --id 40006 >/dev/null || true
tool=(--title "修改关联下单软件名称" --exact --class QvWindow)
drive children "${tool[@]}" >"$work/tool.txt" || true
check "the caption tool shows the profile and its fragment" \
  bash -c "grep -qP '\t模拟交易.ini\t' '$work/tool.txt' && grep -qP '\tEdit\t模拟交易终端\t' '$work/tool.txt'"
finder_id=$(awk -F'\t' '$5 == "QvPicture" { print $4; exit }' "$work/tool.txt")
drive drag "${tool[@]}" --id "$finder_id" --to-title "模拟交易终端 8.1" --to-text "重填" --hold-ms 200 >"$work/drag.txt" || true
check "the finder was dragged onto the button" grep -q "^dragged" "$work/drag.txt"
drive children "${tool[@]}" --until $'\tEdit\t模拟交易终端 8.1\t' >"$work/tool-after.txt" || true
check "the edit holds the button's parents' titles" grep -qP "\tEdit\t模拟交易终端 8.1\t" "$work/tool-after.txt"
shot settings_dialogs-caption.png
drive click "${tool[@]}" --text "确定[&O]" >/dev/null || true
drive statusbar "${main[@]}" --until "和交易软件关联：模拟交易终端 8.1" --timeout-ms 15000 >"$work/status2.txt" || true
check "OK associated again by the new fragment" grep -q "和交易软件关联：模拟交易终端 8.1" "$work/status2.txt"
check "the new fragment is in the profile" gbk_has "$work/app/settings/模拟交易.ini" "窗口标题=模拟交易终端 8.1"

if [ "$fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- record"; cat "$work/record.jsonl" || true
  echo "--- lists"; cat "$work/list.txt" "$work/found.txt" || true
  echo "--- caption tool"; cat "$work/tool.txt" "$work/tool-after.txt" "$work/drag.txt" || true
  drive windows
fi
exit "$fail"
