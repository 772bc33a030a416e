#!/usr/bin/env bash
# quorvel-tool order against the stand-in trading program in another Wine
# process: the shipped keystroke profile and the shipped control-level
# profile each place a buy and a sell, and the program's orders file must
# hold exactly the code, price and quantity asked for. The control-level
# run uses a system code page other than Chinese, so the Chinese title
# fragment must match as text.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
tool="$QV_WIN_BUILD/src/tool/quorvel-tool.exe"
trader="$QV_WIN_BUILD/sim/trader/simtrader.exe"
code_page="$QV_WIN_BUILD/tests/show_code_page.exe"
for f in "$tool" "$trader" "$code_page"; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done

work=$(mktemp -d)
trader_pid=""
stop_trader() {
  if [ -n "$trader_pid" ]; then
    kill "$trader_pid" 2>/dev/null || true
    wait "$trader_pid" 2>/dev/null || true
    trader_pid=""
  fi
}
trap 'stop_trader; rm -rf "$work"' EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}

# start_trader <orders file>: the program creates the file once its window is up.
start_trader() {
  "$QV_WINE" "$trader" --title "网上股票交易系统5.0" --orders "Z:$1" </dev/null >/dev/null 2>&1 &
  trader_pid=$!
  for _ in $(seq 1 100); do
    [ -f "$1" ] && return 0
    sleep 0.2
  done
  echo "the trading program did not start"
  return 1
}

# run_mode <name> <profile> <locale>
run_mode() {
  local name=$1 profile=$2 locale=$3
  local orders="$work/orders-$name.txt" log="$work/tool-$name.txt"
  echo "== $name ($locale)"
  start_trader "$orders"
  local status=0
  for order in "buy 600000 12.340 100" "sell 000001 9.800 3000"; do
    # shellcheck disable=SC2086
    set -- $order
    LC_ALL=$locale "$QV_WINE" "$tool" order --profile "Z:$ROOT/dist/settings/$profile" \
      --side "$1" --code "$2" --price "$3" --qty "$4" >>"$log" 2>&1 || status=$?
  done
  # The program records an order when its confirmation box has closed,
  # which takes Wine a moment on a display without a window manager.
  for _ in $(seq 1 50); do
    [ "$(grep -c . "$orders")" -ge 2 ] && break
    sleep 0.2
  done
  sleep 0.5  # nothing more may follow
  stop_trader
  sed 's/^/  /' "$log"
  check "$name: both orders ran" test "$status" -eq 0
  check "$name: every control found" test "$(grep -c '15 of 15 controls' "$log")" -eq 2
  check "$name: associated by the Chinese fragment" grep -q '^status: 和交易软件关联：网上股票交易系统' "$log"
  printf 'buy,600000,12.340,100\r\nsell,000001,9.800,3000\r\n' >"$work/expected.txt"
  check "$name: the orders file holds exactly the two orders" cmp "$work/expected.txt" "$orders"
}

run_mode keystroke simtrader_keystroke.ini zh_CN.UTF-8
check "keystroke: steps were typed" grep -q '^  var SL -> typed the quantity 3000' "$work/tool-keystroke.txt"
run_mode controls simtrader_controls.ini C.UTF-8
check "controls: fields were set" grep -q '^  control -> quantity field 3000' "$work/tool-controls.txt"
# The two runs really had different system code pages.
keystroke_cp=$(LC_ALL=zh_CN.UTF-8 "$QV_WINE" "$code_page" </dev/null | tr -dc '0-9')
controls_cp=$(LC_ALL=C.UTF-8 "$QV_WINE" "$code_page" </dev/null | tr -dc '0-9')
echo "system code pages: keystroke run $keystroke_cp, control-level run $controls_cp"
check "keystroke: ran with the Chinese code page" test "$keystroke_cp" = 936
check "controls: ran with another code page" test -n "$controls_cp" -a "$controls_cp" != 936
exit $fail
