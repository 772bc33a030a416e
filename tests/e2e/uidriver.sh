#!/usr/bin/env bash
# qv-uidriver against a real program in another Wine process: the driver
# finds the target's window, reads its list view, status bar, toolbar, tabs
# and controls, works them with clicks and keys, answers its message boxes
# and closes it, and every effect shows in what the driver reads back.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
driver="$QV_WIN_BUILD/tests/qv-uidriver.exe"
target="$QV_WIN_BUILD/tests/uidriver_target.exe"
for f in "$driver" "$target"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
logs="$ROOT/build/test-logs"
mkdir -p "$logs"

work=$(mktemp -d)
target_pid=""
stop_target() {
  if [ -n "$target_pid" ]; then
    kill "$target_pid" 2>/dev/null || true
    wait "$target_pid" 2>/dev/null || true
    target_pid=""
  fi
}
trap 'stop_target; rm -rf "$work"' EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
drive() { "$QV_WINE" "$driver" "$@" </dev/null; }
quiet() { "$@" >/dev/null; }
# same <description> <expected> <actual>: the texts are equal, else a diff.
same() {
  if [ "$2" = "$3" ]; then echo "ok: $1"; else
    echo "FAILED: $1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/  /'; fail=1
  fi
}
# status_of <command...>: the exit status, whatever it is.
status_of() { local s=0; "$@" >/dev/null 2>"$work/stderr" || s=$?; echo "$s"; }
shot() { [ -n "${DISPLAY:-}" ] && import -window root "$logs/uidriver-$1.png" 2>/dev/null || true; }
T=$'\t'

"$QV_WINE" "$target" </dev/null >/dev/null 2>&1 &
target_pid=$!

echo "== finding the window"
found=$(drive wait-window --title 驱动测试 --timeout-ms 30000)
echo "  $found"
IFS=$T read -r kind win pid cls caption rect <<<"$found"
same "wait-window: class and caption" "window QvUiDriverTarget 驱动测试窗口" "$kind $cls $caption"
check "wait-window: a rectangle" grep -qE '^-?[0-9]+,-?[0-9]+,[0-9]+,[0-9]+$' <<<"$rect"
check "windows --pid lists it" grep -q "^window$T$win$T$pid$T" <<<"$(drive windows --pid "$pid")"
check "an exact title that is not there times out with status 2" \
  test "$(status_of drive wait-window --title 驱动测试 --exact --timeout-ms 200)" -eq 2
W=(--window "$win")
shot window

echo "== reading"
children=$(drive children "${W[@]}")
same "children: id, class and text of each control" \
"107 ToolbarWindow32 
108 SysTabControl32 
101 Button 改变标签
102 Button 弹出提示
103 Static 标签：初始
104 Edit 
105 SysListView32 
0 SysHeader32 
106 msctls_statusbar32 就绪" "$(cut -f4-6 <<<"$children" | tr '\t' ' ')"
list=$(awk -F'\t' '$5 == "SysListView32" { print $2 }' <<<"$children")
check "children: the header's parent is the list" \
  test "$(awk -F'\t' '$5 == "SysHeader32" { print $3 }' <<<"$children")" = "$list"
check "children: all visible and enabled" test "$(cut -f7,8 <<<"$children" | sort -u)" = "1${T}1"

same "listview: columns with widths and alignment, rows with cells and images" \
"columns${T}3
column${T}0${T}代码${T}80${T}left
column${T}1${T}名称${T}120${T}center
column${T}2${T}现价${T}90${T}right
rows${T}3
row${T}0${T}-${T}0${T}600000${T}浦发银行${T}12.340
images${T}0${T}0${T}0${T}0
row${T}1${T}-${T}1${T}000001${T}平安银行${T}9.800
images${T}1${T}1${T}0${T}0
row${T}2${T}-${T}0${T}300750${T}宁德时代${T}180.500
images${T}2${T}0${T}0${T}0" "$(drive listview "${W[@]}")"
same "listview: the list's own handle works as --window" "$(drive listview "${W[@]}")" "$(drive listview --window "$list")"

same "statusbar: three panes" \
"parts${T}3
pane${T}0${T}120${T}就绪
pane${T}1${T}300${T}未选择
pane${T}2${T}-1${T}第三栏" "$(drive statusbar "${W[@]}")"

same "toolbar: two text buttons, the second disabled" \
"buttons${T}2
button${T}0${T}2001${T}开始${T}1${T}0
button${T}1${T}2002${T}停止${T}0${T}0" "$(drive toolbar "${W[@]}")"

same "tabs: three captions, the first selected" \
"tabs${T}3${T}0
tab${T}0${T}公告栏${T}1
tab${T}1${T}晒股信息${T}0
tab${T}2${T}其他${T}0" "$(drive tabs "${W[@]}")"

start=$(date +%s%N)
check "--until that is never met: status 2" \
  test "$(status_of drive statusbar "${W[@]}" --until 不会出现 --timeout-ms 500)" -eq 2
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
check "  ...once the time-out has passed ($elapsed ms with Wine's start)" test "$elapsed" -ge 500 -a "$elapsed" -lt 5000
check "  ...showing the last output read" grep -q "pane${T}2${T}-1${T}第三栏" <<<"$(drive statusbar "${W[@]}" --until 不会出现 --timeout-ms 100 || true)"

echo "== working the controls"
label() { drive children "${W[@]}" --until "$1" --timeout-ms 5000 | awk -F'\t' '$4 == 103 { print $6 }'; }
check "toolbar-click on a disabled button fails with status 1" \
  test "$(status_of drive toolbar-click "${W[@]}" --text 停止 --timeout-ms 300)" -eq 1
drive toolbar-click "${W[@]}" --text 开始
same "toolbar-click: the program saw the command" "工具栏：开始" "$(label 工具栏)"
check "toolbar-click: 开始 checked, 停止 enabled" \
  quiet drive toolbar "${W[@]}" --until "button${T}0${T}2001${T}开始${T}1${T}1"$'\n'"button${T}1${T}2002${T}停止${T}1${T}0" --timeout-ms 5000
drive toolbar-click "${W[@]}" --text 停止
same "toolbar-click: a second button" "工具栏：停止" "$(label 工具栏：停止)"

drive click "${W[@]}" --text 改变标签
drive click "${W[@]}" --id 101
same "click by text and by id: two clicks counted" "已点击 2 次" "$(label "已点击 2 次")"

drive listview-select "${W[@]}" 1
check "listview-select: the program saw the selection" \
  quiet drive statusbar "${W[@]}" --until "选中：000001" --timeout-ms 5000
check "listview-select: the row is selected and focused" \
  grep -q "^row${T}1${T}selected,focused${T}" <<<"$(drive listview "${W[@]}")"
drive listview-dblclick "${W[@]}" 2
same "listview-dblclick: on the third row" "双击：300750" "$(label 双击)"
drive listview-rclick "${W[@]}" 0
same "listview-rclick: on the first row" "右击：600000" "$(label 右击)"
check "listview-select: a row beyond the list fails with status 2" \
  test "$(status_of drive listview-select "${W[@]}" 3 --timeout-ms 200)" -eq 2

drive tab-select "${W[@]}" --text 晒股信息
same "tab-select: the program saw the page change" "页：晒股信息" "$(label 页)"
check "tab-select: the second tab is selected" grep -q "^tabs${T}3${T}1$" <<<"$(drive tabs "${W[@]}")"

drive keys "${W[@]}" --id 104 "买入 600000"
same "keys: typed into the edit field" "买入 600000" \
  "$(drive children "${W[@]}" --until "买入 600000" --timeout-ms 5000 | awk -F'\t' '$4 == 104 { print $6 }')"
drive key "${W[@]}" F12
same "key: F12 reached the program" "F12" "$(label F12)"
shot controls

echo "== message boxes"
drive click "${W[@]}" --text 弹出提示
box=$(drive dialog --title 确认)
echo "$box" | sed 's/^/  /'
shot dialog
check "dialog: the question" grep -qx "static${T}要改变标签吗？" <<<"$box"
same "dialog: the three buttons" "是(&Y) 否(&N) 取消" "$(awk -F'\t' '$1 == "button" { print $3 }' <<<"$box" | xargs)"
drive answer --title 确认 --button 是
same "answer: 是 matched 是(&Y) and closed the box" "回答：是" "$(label 回答)"
check "answer: the box is gone" test "$(status_of drive dialog --title 确认 --timeout-ms 200)" -eq 2

drive click "${W[@]}" --text 弹出提示
drive dialog --title 确认 >/dev/null
check "answer: a button the box does not have fails with status 2" \
  test "$(status_of drive answer --title 确认 --button 重试 --timeout-ms 300)" -eq 2
drive key --title 确认 Escape
drive wait-gone --title 确认 --class '#32770' --timeout-ms 5000
same "key: Escape cancelled the box" "回答：取消" "$(label 回答：取消)"

echo "== closing"
drive close "${W[@]}"
check "close: the program asks" grep -qx "static${T}您确定要关闭吗？" <<<"$(drive dialog --title 退出)"
drive answer --title 退出 --button "否(&N)"
check "close: 否 keeps the window" quiet drive wait-window --title 驱动测试窗口 --exact --timeout-ms 2000
drive close "${W[@]}"
drive answer --title 退出 --button 是
check "close: 是 ends the window" quiet drive wait-gone "${W[@]}" --timeout-ms 5000
ended=1
for _ in $(seq 1 100); do
  kill -0 "$target_pid" 2>/dev/null || { ended=0; break; }
  sleep 0.1
done
check "close: the program has ended" test "$ended" -eq 0
[ "$ended" -eq 0 ] && { wait "$target_pid" 2>/dev/null || true; target_pid=""; }

echo "== usage"
check "no arguments: status 1" test "$(status_of drive)" -eq 1
check "  ...and the usage text" grep -q "listview-dblclick" "$work/stderr"
check "an unknown option: status 1 with the reason" \
  test "$(status_of drive listview --title x --rows 3)" -eq 1
check "  ...naming the option" grep -q -- "--rows" "$work/stderr"
exit $fail
