#!/usr/bin/env bash
# The fill note as a trade client shows it: the stand-in host logs a user
# in, pushes fills through its port, lets the push service raise the note
# and shows the plug-in's body window in its note window. The list's rows
# and cells are read from another process as a user reads them (three fills
# without the timing row; 70 fills with it, sells with "-"), Esc in the list
# reaches the note window, a screenshot shows the red new rows and the
# gradient header, whose first pixel rows are checked, and the close button
# ends the note through the renderer.
set -uo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
plugin="$QV_WIN_BUILD/plugin"
driver="$QV_WIN_BUILD/tests/qv-uidriver.exe"
logs="$ROOT/build/test-logs/plugin_note"
for f in "$plugin/plugin_host.exe" "$plugin/Pellumin.dll" "$driver"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
for tool in convert import; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 1; }
done
mkdir -p "$logs"

work=$(mktemp -d "$ROOT/build/e2e-plugin-note.XXXXXX")
pid=""
stop_host() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
  fi
}
trap 'stop_host; rm -rf "$work"' EXIT
cp "$plugin/plugin_host.exe" "$plugin/Pellumin.dll" "$work/"

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
drive() { "$QV_WINE" "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'; }
title="成交回报信息"

# show <name> <host arguments...>: starts the host with its note and waits for it.
show() {
  local name=$1
  shift
  (cd "$work" && exec "$QV_WINE" plugin_host.exe --note "$@" </dev/null >"$work/$name.out" 2>&1) &
  pid=$!
  drive wait-window --title "$title" --timeout-ms 30000 >"$work/$name.window" || true
}
# close_note <name>: the note's close button; the host ends by itself.
close_note() {
  drive click --title "$title" --text "关闭" >/dev/null || true
  local waited=0
  while kill -0 "$pid" 2>/dev/null && [ $waited -lt 100 ]; do sleep 0.1; waited=$((waited + 1)); done
  if kill -0 "$pid" 2>/dev/null; then echo "the host did not end after the close button"; stop_host; fail=1; fi
  wait "$pid" 2>/dev/null
  pid=""
  cp "$work/$1.out" "$logs/" 2>/dev/null || true
}
row() { awk -F'\t' -v r="$2" '$1 == "row" && $2 == r { print $5 "|" $6 "|" $7 "|" $8 "|" $9 "|" $10 }' "$1"; }
field() { awk -F'\t' -v k="$2" '$1 == k { print $2; exit }' "$1"; }

# Three fills, the user's timing row off: three rows newest first, one empty.
show three 3
drive listview --title "$title" --id 4000 --until $'rows\t4' >"$work/three.txt" || true
cp "$work/three.txt" "$logs/three-listview.txt"
check "six columns" test "$(field "$work/three.txt" columns)" = 6
check "the headings, 61 pixels wide, centred" test "$(awk -F'\t' '$1 == "column" { printf "%s/%s/%s ", $3, $4, $5 }' "$work/three.txt")" \
  = "证券代码/61/center 证券名称/61/center 成交数量/61/center 成交价格/61/center 成交时间/61/center 业务说明/61/center "
check "four rows for three fills" test "$(field "$work/three.txt" rows)" = 4
check "the newest fill first, a sell with \"-\"" test "$(row "$work/three.txt" 0)" = "600003|浦发银行|-300|10.03|09:30:03|卖出"
check "the oldest fill third" test "$(row "$work/three.txt" 2)" = "600001|浦发银行|100|10.01|09:30:01|买入"
check "an empty last row" test "$(row "$work/three.txt" 3)" = "|||||"
# The every-second update reloads: nothing new since, reported as 1; the
# three rows stay red.
drive children --title "$title" --until "新接收数据1条" >"$work/children.txt" || true
check "the status line after the reload" grep -q "共接收数据3条,新接收数据1条" "$work/children.txt"
drive key --title "$title" --id 4000 Escape >/dev/null || true
drive children --title "$title" --until "命令 2" >"$work/children.txt" || true
check "Esc in the list reaches the note window as command 2" grep -q "命令 2" "$work/children.txt"

# The screenshot, and the header's gradient and the red rows read from it.
DISPLAY="$DISPLAY" import -window root "$logs/note.png" 2>/dev/null || true
check "a screenshot of the note" test -s "$logs/note.png"
header=$(awk -F'\t' '$1 == "child" && $5 == "SysHeader32" { print $9; exit }' "$work/children.txt")
list=$(awk -F'\t' '$1 == "child" && $5 == "SysListView32" { print $9; exit }' "$work/children.txt")
if [ -n "$header" ] && [ -n "$list" ] && [ -s "$logs/note.png" ]; then
  IFS=, read -r hl ht hr hb <<<"$header"
  IFS=, read -r ll lt lr lb <<<"$list"
  convert "$logs/note.png" -crop "1x6+$((hl + 20))+$ht" +repage -depth 8 txt:- >"$work/header.txt"
  got=$(grep -o '#[0-9A-Fa-f]\{6\}' "$work/header.txt" | head -6 |
    while read -r v; do printf '%d,%d,%d ' "0x${v:1:2}" "0x${v:3:2}" "0x${v:5:2}"; done)
  check "the header is white at its top and darker by 4 per row ($got)" \
    test "$got" = "255,255,255 251,251,251 247,247,247 243,243,243 239,239,239 235,235,235 "
  # Text pixels of the list's rows: red ones (the three new rows) and dark
  # ones (none: the empty row has no text).
  count() { convert "$logs/note.png" -crop "$((lr - ll - 20))x$((lb - hb - 20))+$ll+$hb" +repage \
    -fx "$1 ? 1 : 0" -format '%[fx:round(mean*w*h)]' info: 2>/dev/null || echo 0; }
  red=$(count 'r>0.6 && g<0.5 && b<0.5')
  dark=$(count 'r<0.4 && g<0.4 && b<0.4')
  check "the new rows are drawn in red ($red red, $dark dark pixels)" test "$red" -gt 100 -a "$dark" -lt "$((red / 10))"
else
  check "the header and the list on the screen" false
fi
close_note three
check "closing ends the note through the renderer" grep -q "host: Notes.EndNote(20047,3)" "$work/three.out"
check "after setting it closed and done" grep -q "host: Note.SetDone(1)" "$work/three.out"

# 70 fills with the timing row: it and the 64 newest.
show seventy 70 --timing
drive listview --title "$title" --id 4000 --until $'rows\t65' >"$work/seventy.txt" || true
DISPLAY="$DISPLAY" import -window root "$logs/note-timing.png" 2>/dev/null || true
cp "$work/seventy.txt" "$logs/seventy-listview.txt"
check "65 rows for 70 fills and the timing row" test "$(field "$work/seventy.txt" rows)" = 65
check "the timing row on top" grep -qE $'^row\t0\t[^\t]*\t[^\t]*\t委托耗时:\t[0-9]+\\(ms\\)\t\t成交耗时:\t[0-9]+\\(ms\\)\t$' "$work/seventy.txt"
check "the newest fill below it" test "$(row "$work/seventy.txt" 1 | cut -d'|' -f1,3)" = "600070|7000"
check "a sell is listed with \"-\"" test "$(row "$work/seventy.txt" 2 | cut -d'|' -f1,3)" = "600069|-6900"
check "the 64th newest fill last" test "$(row "$work/seventy.txt" 64 | cut -d'|' -f1)" = "600007"
drive children --title "$title" --until "共接收数据70条" >"$work/children.txt" || true
check "the status line counts the 70 fills received" grep -q "共接收数据70条,新接收数据" "$work/children.txt"
close_note seventy
exit $fail
