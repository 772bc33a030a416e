#!/usr/bin/env bash
# The replay window as a user meets it: quorvel.exe with the eight worked
# examples in its store, "工具" > "回测…" chosen, a CSV tape picked in the
# open-file dialog, the store replayed, the result rows read (the same fires
# and order prices as quorvel-tool replay), the chart saved as a picture
# through the save dialog, and the live store left as it was. Screenshots
# and the chart go into the test logs.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
app="$QV_WIN_BUILD/app"
driver="$QV_WIN_BUILD/tests/qv-uidriver.exe"
make_example="$ROOT/build/native/tests/make_replay_example"
tool="$ROOT/build/native/src/tool/quorvel-tool"
logs="$ROOT/build/test-logs"
for f in "$app/quorvel.exe" "$driver" "$make_example" "$tool"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done
mkdir -p "$logs"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"

work=$(mktemp -d)
export ROAD_DRIVER_LOG="$work/driver.err"
pid=""
stop_program() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
  fi
}
trap 'stop_program; rm -rf "$work"' EXIT


cp -r "$app" "$work/app"
"$make_example" "$work/app/data"
mv "$work/app/data/tape.csv" "$work/tape.csv"
cp "$work/app/data/policy.tmp" "$work/policy-before.tmp"
printf '[网站]\r\n网站地址=http://127.0.0.1:9\r\n' | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
# What the tool computes from the same store and tape.
"$tool" replay --store "$work/policy-before.tmp" --tape "$work/tape.csv" --start all >"$work/tool.txt"

caption="Tarvolen系列-Merrowickv1.7.6"
"$QV_WINE" "$work/app/quorvel.exe" </dev/null >"$work/program.out" 2>&1 &
pid=$!
road_drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 30000 >/dev/null || true
road_drive wait-window --title "$caption" --exact --timeout-ms 30000 >/dev/null || true
# The login comes by itself; the replay needs none.
road_drive answer --title "用户登录" --class QvWindow --button "取消" --timeout-ms 30000 >/dev/null || true

# "工具" > "回测…" (menus cannot be read from another process: by its id).
road_drive command --title "$caption" --exact --id 40101 >/dev/null || true
road_drive wait-window --title "回测" --exact >"$work/window.txt" || true
road_check "the replay window opens from the menu" grep -q "回测" "$work/window.txt"
road_drive listview --title "回测" --exact --id 205 --until $'rows\t8' >"$work/monitors.txt" || true
road_check "the store's eight monitors to choose from" grep -q "^rows	8" "$work/monitors.txt"

# The day: "CSV 文件…", then the tape in the open-file dialog.
road_drive key --title "回测" --exact --id 201 Down >/dev/null || true
road_file_dialog "选择 CSV 行情文件" "$work/tape.csv"
road_drive children --title "回测" --exact --until "tape.csv" >"$work/children.txt" || true
road_check "the chosen tape is shown" grep -q "tape.csv" "$work/children.txt"

road_drive click --title "回测" --exact --text "开始回测" >/dev/null || true
road_drive listview --title "回测" --exact --id 206 --until $'rows\t8' >"$work/results.txt" || true
road_check "eight result rows" grep -q "^rows	8" "$work/results.txt"
road_check "the trailing take-profit fired at 09:30:03, 10.200, selling at 10.100" \
  grep -qP "^row\t\d+\t.*\t1\t600000\t浦发银行\t移动止盈\t触发\t09:30:03\t10.200\t卖出 600000 浦发银行 10.100 × 1000，自动下单[^\t]*\t最高价 10.800" \
  "$work/results.txt"
road_check "the index monitor buys its target at 2.525" grep -qP "\t6\t000001\t.*\t触发\t.*买入 510050 50ETF 2.525" "$work/results.txt"
road_check "the stop-loss only prompts" grep -qP "\t8\t600006\t.*\t触发\t.*，仅提示" "$work/results.txt"
# Every fire of the tool that orders is a fired row at the same time and
# order price (one that only prompts has none: its row is read above).
while read -r _ when _ id _ _ _ _ _ _ price _; do
  road_check "fire #${id#\#} at $when, order price $price, as the tool" \
    grep -qP "^row\t\d+\t[^\t]*\t[^\t]*\t${id#\#}\t[^\t]*\t[^\t]*\t[^\t]*\t触发\t$when\t.*\Q $price \E" "$work/results.txt"
done < <(grep -v 'prompt only)$' "$work/tool.txt")
road_drive children --title "回测" --exact >"$work/children.txt" || true
road_check "the status line counts the fires" grep -q "8 个触发" "$work/children.txt"
DISPLAY="$DISPLAY" import -window root "$logs/replay-window.png" 2>/dev/null || true

# The chart saved as a picture.
road_drive click --title "回测" --exact --text "保存图表…" >/dev/null || true
road_file_dialog "保存图表" "$work/chart.png"
for _ in $(seq 1 100); do [ -s "$work/chart.png" ] && break; sleep 0.1; done
road_check "the chart is a PNG picture" bash -c "head -c 8 '$work/chart.png' | od -An -tx1 | grep -q '89 50 4e 47 0d 0a 1a 0a'"
cp "$work/chart.png" "$logs/replay-chart.png" 2>/dev/null || true
road_check "the chart picture is not blank" test "$(stat -c %s "$work/chart.png" 2>/dev/null || echo 0)" -gt 3000
road_drive children --title "回测" --exact --until "图表已保存" >"$work/children.txt" || true
road_check "the status line says where it went" grep -q "图表已保存到" "$work/children.txt"

road_check "the live store is untouched by the replay" cmp "$work/policy-before.tmp" "$work/app/data/policy.tmp"
road_drive close --title "回测" --exact >/dev/null || true
road_drive close --title "$caption" --exact >/dev/null || true
road_drive answer --title "提示" --button "是" >/dev/null || true
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
stop_program

if [ "$road_fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- results"; cat "$work/results.txt" || true
  echo "--- children"; cat "$work/children.txt" || true
  echo "--- tool"; cat "$work/tool.txt" || true
fi
exit "$road_fail"
