#!/usr/bin/env bash
# quorvel-tool replay on Linux and on Windows (under Wine) over the worked
# examples: both must print the expected fires and write byte-identical
# trade logs and stores.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
native_tool="$ROOT/build/native/src/tool/quorvel-tool"
windows_tool="$QV_WIN_BUILD/src/tool/quorvel-tool.exe"
maker="$ROOT/build/native/tests/make_replay_example"
for f in "$native_tool" "$windows_tool" "$maker"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$maker" "$work"

args() { # <folder prefix> <suffix>
  echo --store "$1/policy.tmp" --tape "$1/tape.csv" --start all --user u8 \
    --trade-log "$1/trade-$2.log" --save "$1/saved-$2.tmp" --json
}
# shellcheck disable=SC2046
"$native_tool" replay $(args "$work" linux) >"$work/fires-linux.txt"
# shellcheck disable=SC2046
"$QV_WINE" "$windows_tool" replay $(args "Z:$work" windows) >"$work/fires-windows.txt"

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
check "eight fires" test "$(wc -l <"$work/fires-linux.txt")" -eq 8
for expected in '"id":1,.*"order_price":"10.100"' '"id":2,.*"order_price":"9.900"' \
  '"id":4,.*"order_price":"7.730"' '"time":"2012-05-18 14:30:00","id":5,' \
  '"id":5,.*"order_price":"20.210"' '"id":6,.*"order_code":"510050".*"order_price":"2.525"' \
  '"id":8,.*"order_price":"委托价格错误"'; do
  check "fire $expected" grep -q "$expected" "$work/fires-linux.txt"
done
check "same fires on Windows" cmp "$work/fires-linux.txt" "$work/fires-windows.txt"
check "same trade log on Windows" cmp "$work/trade-linux.log" "$work/trade-windows.log"
check "same saved store on Windows" cmp "$work/saved-linux.tmp" "$work/saved-windows.tmp"
check "trade log lines end in CR LF" test "$(grep -c $'\r$' "$work/trade-linux.log")" -eq 8
"$native_tool" policy-dump "$work/saved-linux.tmp" >"$work/dump-linux.txt"
"$QV_WINE" "$windows_tool" policy-dump "Z:$work/saved-linux.tmp" >"$work/dump-windows.txt"
check "same policy-dump on Windows" cmp "$work/dump-linux.txt" "$work/dump-windows.txt"
check "fired monitors saved as triggered" test "$(grep -c ' triggered fired=1' "$work/dump-linux.txt")" -eq 8

# The tape as a day tape: the 32-bit Windows build writes the very bytes the
# native one does, and both replay it as the CSV tape.
"$native_tool" tape "$work/tape.csv" "$work/tape-linux.day" >/dev/null
"$QV_WINE" "$windows_tool" tape "Z:$work/tape.csv" "Z:$work/tape-windows.day" >/dev/null
check "same day tape on Windows" cmp "$work/tape-linux.day" "$work/tape-windows.day"
cp "$work/tape-linux.day" "$work/tape.csv"
# shellcheck disable=SC2046
"$native_tool" replay $(args "$work" linux-day) >"$work/fires-linux-day.txt"
# shellcheck disable=SC2046
"$QV_WINE" "$windows_tool" replay $(args "Z:$work" windows-day) >"$work/fires-windows-day.txt"
check "the day tape replays as the CSV tape" cmp "$work/fires-linux.txt" "$work/fires-linux-day.txt"
check "and so on Windows" cmp "$work/fires-linux.txt" "$work/fires-windows-day.txt"
"$QV_WINE" "$windows_tool" tape "Z:$work/tape-linux.day" "Z:$work/back-windows.csv" >/dev/null
"$native_tool" tape "$work/tape-linux.day" "$work/back-linux.csv" >/dev/null
check "same CSV from the day tape on Windows" cmp "$work/back-linux.csv" "$work/back-windows.csv"
exit $fail
