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

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_check_files || exit 1
mkdir -p "$road_logs"
host=127.0.65.9
web=18165

work=$(mktemp -d "$ROOT/build/e2e-settings-dialogs.XXXXXX")
export ROAD_DRIVER_LOG="$work/driver.err"
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

main=(--title "Merrowick" --class QvWindow)

# The server offers the stand-in trading program's profile under another
# name and title, and one more.
mkdir -p "$work/served"
iconv -f GBK -t UTF-8 "$ROOT/dist/settings/simtrader_keystroke.ini" |
  sed 's/^窗口标题=.*/窗口标题=模拟交易终端/' | iconv -f UTF-8 -t GBK >"$work/served/模拟交易.ini"
cp "$ROOT/dist/settings/simtrader_controls.ini" "$work/served/国信证券.ini"
timeout 300 "$road_server" --host "$host" --web-port "$web" --quote-port 17765 --user trader01:pw6543 \
  --profiles "$work/served" --record "$work/record.jsonl" >"$work/server.txt" 2>&1 &
server_pid=$!
road_wait_line "$work/server.txt" "ready on $host" 10 || { cat "$work/server.txt"; exit 1; }

"$QV_WINE" "$road_trader" --title "模拟交易终端 8.1" --orders "Z:$work/orders.txt" </dev/null >/dev/null 2>&1 &
trader_pid=$!

# The application folder: the stand-ins, this server, auto-login, no notice.
cp -r "$road_app" "$work/app"
cp "$road_account" "$work/app/"
road_install_engine "$work/app" "$host" "$web"
printf '%s\r\n' "$host" >"$work/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
iconv -f GBK -t UTF-8 "$work/app/setup.ini" | sed 's/^关闭启动提示=.*/关闭启动提示=1\r/' |
  iconv -f UTF-8 -t GBK >"$work/setup.ini" && mv "$work/setup.ini" "$work/app/setup.ini"
python3 "$ROOT/tests/tools/write_options.py" "$work/app/option.opt" "$host" trader01 pw6543

road_drive wait-window --title "模拟交易终端 8.1" --exact --timeout-ms 30000 >/dev/null || true
cd "$work/app"
"$QV_WINE" quorvel.exe </dev/null >"$work/program.out" 2>&1 &
pid=$!
cd "$work"

# The remembered login, confirmed at once; the shipped profile's title
# matches nothing.
road_drive wait-window --title "用户登录" --exact --timeout-ms 30000 >/dev/null || true
road_drive click --title "用户登录" --exact --text "确定" >/dev/null || true
road_drive dialog --title "Tarvolen-Merrowick" --exact --until "没有找到证券交易系统" --timeout-ms 40000 >"$work/assoc.txt" || true
road_check "the association found no trading program" grep -q "没有找到证券交易系统" "$work/assoc.txt"
road_drive answer --title "Tarvolen-Merrowick" --exact --button "确定" >/dev/null || true

# ... and fell back on the profile dialog.
road_drive wait-window --title "下载配置 (当前配置: simtrader_keystroke.ini)" --exact --timeout-ms 15000 >"$work/profile.txt" || true
road_check "the profile dialog opened with the active profile in its caption" grep -q "下载配置" "$work/profile.txt"
dlg=(--title "下载配置" --class QvWindow)
road_drive click "${dlg[@]}" --text "获取配置列表[&G]" >/dev/null || true
road_drive listview "${dlg[@]}" --until $'rows\t2' >"$work/list.txt" || true
road_check "the server's list" grep -qP "^row\t1\t.*\t模拟交易.ini$" "$work/list.txt"
road_shot settings_dialogs-profile.png
search_id=$(road_drive children "${dlg[@]}" | awk -F'\t' '$5 == "Edit" && $6 == "" { print $4; exit }')
road_drive keys "${dlg[@]}" --id "$search_id" "国信" >/dev/null || true
road_drive click "${dlg[@]}" --text "查找" >/dev/null || true
road_drive listview "${dlg[@]}" --until "selected" >"$work/found.txt" || true
road_check "a search found in the list selects it" grep -qP "^row\t0\tselected.*\t国信证券.ini$" "$work/found.txt"
road_check "... without asking the server" bash -c "! grep -q '\"command\":3010' '$work/record.jsonl'"
road_drive keys "${dlg[@]}" --id "$search_id" "x" >/dev/null || true
road_drive click "${dlg[@]}" --text "查找" >/dev/null || true
road_check "a search the list cannot answer goes to the server" road_wait_line "$work/record.jsonl" '"command":3010.*"name":"国信x"' 10
road_drive listview "${dlg[@]}" --until $'rows\t0' >/dev/null || true
# The whole list again, the stand-in's profile chosen, applied.
road_drive click "${dlg[@]}" --text "获取配置列表[&G]" >/dev/null || true
road_drive listview "${dlg[@]}" --until $'rows\t2' >/dev/null || true
road_drive listview-select "${dlg[@]}" 1 >/dev/null || true
road_drive listview "${dlg[@]}" --until "selected" >/dev/null || true
road_drive click "${dlg[@]}" --text "应用配置[&S]" >/dev/null || true
road_check "the dialog closed once the trading program was found" road_drive wait-gone "${dlg[@]}" --timeout-ms 20000
road_check "the profile was downloaded into settings" cmp "$work/served/模拟交易.ini" "$work/app/settings/模拟交易.ini"
road_check "it is the active profile" road_gbk_has "$work/app/config.ini" "行情交易配置文件名称=模拟交易.ini"
road_drive statusbar "${main[@]}" --until "和交易软件关联：模拟交易终端" --timeout-ms 15000 >"$work/status.txt" || true
road_check "the stand-in trading program is associated" grep -q "和交易软件关联：模拟交易终端" "$work/status.txt"
road_check "one connection served every request" test "$(grep -c '"event":"file-connection","open":true' "$work/record.jsonl")" -eq 1
road_check "list, search, list and download reached the server" \
  test "$(grep -o '"command":30[0-9]*' "$work/record.jsonl" | tr -d '"command:' | paste -sd,)" = "3008,3010,3008,3009"

# "设置": the grid of 参数配置, a box ticked, saved into setup.ini.
road_drive command "${main[@]}" --id 40022 >/dev/null || true
road_drive listview --title "设置" --exact --class QvWindow --until "防止锁定刷新时间(秒)" >"$work/grid.txt" || true
road_check "the settings grid shows section 参数配置" grep -qP "\t防止锁定刷新时间\(秒\)\t300$" "$work/grid.txt"
road_shot settings_dialogs-settings.png
cfg=(--title "设置" --exact --class QvWindow)
road_drive children "${cfg[@]}" >"$work/settings.txt" || true
slider_id=$(awk -F'\t' '$5 == "msctls_trackbar32" { print $4; exit }' "$work/settings.txt")
road_drive key "${cfg[@]}" --id "$slider_id" Left >/dev/null || true
road_drive children "${cfg[@]}" --until $'\t254\t' >"$work/settings-after.txt" || true
road_check "the trading window's slider moved" grep -qP "\tStatic\t254\t" "$work/settings-after.txt"
road_drive click "${cfg[@]}" --text "自动登录" >/dev/null || true
tape_id=$(awk -F'\t' '$5 == "Edit" && $6 == "60" { print $4; exit }' "$work/settings.txt")
road_check "the days of quote tapes kept show their default" test -n "$tape_id"
road_drive set-text "${cfg[@]}" --id "${tape_id:-0}" 7 >/dev/null || true
road_drive click "${cfg[@]}" --text "确定[&O]" >/dev/null || true
road_drive wait-gone "${cfg[@]}" >/dev/null || true
road_check "OK saved the days of quote tapes into setup.ini" road_gbk_has "$work/app/setup.ini" "行情录制保留天数=7"
road_check "OK saved the slider's opacity into setup.ini" road_gbk_has "$work/app/setup.ini" "下单软件透明度=254"
road_check "OK saved the auto-login choice into option.opt" \
  python3 -c 'import sys; sys.exit(open(sys.argv[1], "rb").read()[170] != 0)' "$work/app/option.opt"

# The caption tool: the finder dragged onto a button of the trading program.
road_drive command "${main[@]}" --id 40006 >/dev/null || true
tool=(--title "修改关联下单软件名称" --exact --class QvWindow)
road_drive children "${tool[@]}" >"$work/tool.txt" || true
road_check "the caption tool shows the profile and its fragment" \
  bash -c "grep -qP '\t模拟交易.ini\t' '$work/tool.txt' && grep -qP '\tEdit\t模拟交易终端\t' '$work/tool.txt'"
finder_id=$(awk -F'\t' '$5 == "QvPicture" { print $4; exit }' "$work/tool.txt")
road_drive drag "${tool[@]}" --id "$finder_id" --to-title "模拟交易终端 8.1" --to-text "重填" --hold-ms 200 >"$work/drag.txt" || true
road_check "the finder was dragged onto the button" grep -q "^dragged" "$work/drag.txt"
road_drive children "${tool[@]}" --until $'\tEdit\t模拟交易终端 8.1\t' >"$work/tool-after.txt" || true
road_check "the edit holds the button's parents' titles" grep -qP "\tEdit\t模拟交易终端 8.1\t" "$work/tool-after.txt"
road_shot settings_dialogs-caption.png
road_drive click "${tool[@]}" --text "确定[&O]" >/dev/null || true
road_drive statusbar "${main[@]}" --until "和交易软件关联：模拟交易终端 8.1" --timeout-ms 15000 >"$work/status2.txt" || true
road_check "OK associated again by the new fragment" grep -q "和交易软件关联：模拟交易终端 8.1" "$work/status2.txt"
road_check "the new fragment is in the profile" road_gbk_has "$work/app/settings/模拟交易.ini" "窗口标题=模拟交易终端 8.1"

if [ "$road_fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- record"; cat "$work/record.jsonl" || true
  echo "--- lists"; cat "$work/list.txt" "$work/found.txt" || true
  echo "--- caption tool"; cat "$work/tool.txt" "$work/tool-after.txt" "$work/drag.txt" || true
  road_drive windows
fi
exit "$road_fail"
