#!/usr/bin/env bash
# quorvel.exe started from a copy of its application folder, read and worked
# from another process as a user's eye and hand would: the start-up notice,
# the window's caption, toolbar, monitor list, panel and status bar while
# logged out, the store of monitors in the list, start all refused, the
# close question answered No and then Yes, and the store saved on the way
# out. Screenshots go into the test logs.
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

work=$(mktemp -d)
pid=""
stop_program() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
  fi
}
trap 'stop_program; rm -rf "$work"' EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
drive() { "$QV_WINE" "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'; }

# The application folder as a user gets it, with eight monitors, the first
# of them stored running, and a vendor site that nobody answers (the
# start-up checks fail quietly).
cp -r "$app" "$work/app"
"$make_example" "$work/app/data"
rm -f "$work/app/data/tape.csv"
printf '\x02' | dd of="$work/app/data/policy.tmp" bs=1 seek=56 conv=notrunc status=none
printf '[网站]\r\n网站地址=http://127.0.0.1:9\r\n' | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
touch "$work/app/data/old.jpg"

caption="Tarvolen系列-Merrowickv1.7.6"
"$QV_WINE" "$work/app/quorvel.exe" </dev/null >"$work/program.out" 2>&1 &
pid=$!

# The start-up notice comes first; OK closes it.
drive dialog --title "使用提示！" --class QvWindow --timeout-ms 30000 >"$work/notice.txt" || true
check "the start-up notice names the conditions" grep -q "为确保下单成功" "$work/notice.txt"
drive answer --title "使用提示！" --class QvWindow --button "确定" >/dev/null || true

drive wait-window --title "$caption" --exact --timeout-ms 30000 >"$work/window.txt" || true
check "the main window's caption" grep -q "$caption" "$work/window.txt"
check "the cached pictures were deleted" test ! -e "$work/app/data/old.jpg"

drive toolbar --title "$caption" --exact >"$work/toolbar.txt" || true
for text in 启动所有监控 停止所有监控 添加移动止盈 添加条件止损 按价位监控 按时间监控 晒股 刷新; do
  check "toolbar button $text, disabled while logged out" grep -qP "^button\t\d+\t\d+\t$text\t0" "$work/toolbar.txt"
done

drive listview --title "$caption" --exact --until "rows 8" >"$work/list.txt" || true
check "eight columns (the seven, then the orders' outcome)" grep -q "^columns	8" "$work/list.txt"
# Captions and alignments as designed; a width may only grow (to fit the font).
i=0
for col in "序号 40 left" "启动/策略 85 center" "代码 55 center" "名称 80 left" "设定价 70 right" \
           "当前价 70 right" "操作 320 left" "委托结果 180 left"; do
  # shellcheck disable=SC2086
  set -- $col
  check "column $i: $1, at least $2 wide, $3" \
    awk -F'\t' -v i="$i" -v c="$1" -v w="$2" -v a="$3" \
      '$1 == "column" && $2 == i && $3 == c && $4 >= w && $5 == a { found = 1 } END { exit !found }' "$work/list.txt"
  i=$((i + 1))
done
check "eight monitors in the list" grep -q "^rows	8" "$work/list.txt"
check "row 0: the trailing take-profit, as stored" \
  grep -qP "^row\t0\t.*\t1\t止盈-卖出\t600000\t浦发银行\t10.000\t0.000\t当高于设定价位10.000后回落0.500元" "$work/list.txt"
check "row 5: the index monitor" grep -qP "^row\t5\t.*\t6\t指数-买入\t000001\t上证指数\t3000.000\t" "$work/list.txt"
check "row 4: the time monitor's set price" grep -qP "^row\t4\t.*\t5\t时间-买入\t600004\t白云机场\t20.000\t" "$work/list.txt"

drive statusbar --title "$caption" --exact >"$work/status.txt" || true
check "the login pane says not logged in" grep -qP "^pane\t1\t\d+\t未登录$" "$work/status.txt"
check "seven status panes" grep -q "^parts	7" "$work/status.txt"
drive tabs --title "$caption" --exact >"$work/tabs.txt" || true
check "the notice page, and no share tab while logged out" grep -qP "^tabs\t1\t0" "$work/tabs.txt"
check "the notice page's tab" grep -qP "^tab\t0\t公告栏" "$work/tabs.txt"
drive children --title "$caption" --exact >"$work/children.txt" || true
check "the notice pane says why it has no page" grep -q "公告暂时无法显示" "$work/children.txt"
check "the share page's footer" grep -q "本项功能不构成买卖建议，凭此买卖，风险自担。" "$work/children.txt"

# Start all while logged out: the button is disabled and pressing it anyway
# changes nothing.
drive toolbar-click --title "$caption" --exact --text "启动所有监控" >/dev/null 2>&1 || true
drive listview --title "$caption" --exact >"$work/list-after.txt" || true
check "start all refused: the rows are unchanged" cmp "$work/list.txt" "$work/list-after.txt"

DISPLAY="$DISPLAY" import -window root "$logs/main-window.png" 2>/dev/null || true

# The close question: No keeps the program, Yes ends it.
drive close --title "$caption" --exact >/dev/null || true
drive dialog --title "提示" >"$work/close.txt" || true
check "the close question" grep -q "您确定要关闭吗？" "$work/close.txt"
drive answer --title "提示" --button "否" >/dev/null || true
still_open() { drive wait-window --title "$caption" --exact --timeout-ms 2000 >/dev/null; }
check "No keeps the window" still_open
drive close --title "$caption" --exact >/dev/null || true
drive answer --title "提示" --button "是" >/dev/null || true
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
check "Yes ends the program" bash -c "! kill -0 $pid 2>/dev/null"
wait "$pid" 2>/dev/null || true
pid=""

"$tool" policy-dump "$work/app/data/policy.tmp" >"$work/saved.txt" || true
check "the store was saved with every monitor stopped" test "$(grep -c ' stopped ' "$work/saved.txt")" -eq 8

if [ "$fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- list"; cat "$work/list.txt" || true
  echo "--- status"; cat "$work/status.txt" || true
  echo "--- toolbar"; cat "$work/toolbar.txt" || true
fi
exit "$fail"
