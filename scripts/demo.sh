#!/usr/bin/env bash
# The main job on this machine, with what exists so far: a store of monitors
# meets a recorded quote tape, the monitors fire, and every automatic order
# is typed by the Windows build into the stand-in broker trading program in
# another Wine process; the trade log, the orders the trading program
# accepted and a screenshot are kept in build/demo. Then the push plug-in is
# loaded by the stand-in trade client and plays its session.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

echo "== preparing (first run: installs packages and builds; later runs are quick)"
scripts/setup.sh >/dev/null
for preset in native win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

demo="$ROOT/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
tool="build/native/src/tool/quorvel-tool"
wintool="build/win64/src/tool/quorvel-tool.exe"
trader="build/win64/sim/trader/simtrader.exe"
build/native/tests/make_replay_example "$demo"

echo
echo "== the monitors in the policy store ($demo/policy.tmp)"
"$tool" policy-dump "$demo/policy.tmp"

echo
echo "== replaying the quote tape ($(grep -c '^20' "$demo/tape.csv") quotes) through the monitor loop"
"$tool" replay --store "$demo/policy.tmp" --tape "$demo/tape.csv" --start all --user demo \
  --trade-log "$demo/trade.log" --save "$demo/policy-after.tmp" | tee "$demo/fires.txt"
echo
echo "== log\\trade.log (GBK, shown as UTF-8)"
iconv -f GBK -t UTF-8 "$demo/trade.log"

. scripts/wine-env.sh
trader_pid=""
cleanup() {
  [ -n "$trader_pid" ] && kill "$trader_pid" 2>/dev/null
  qv_wine_stop
}
trap cleanup EXIT
qv_wine_start

echo
echo "== typing the automatic orders into the stand-in trading program under Wine"
orders="$demo/orders.txt"
"$QV_WINE64" "$trader" --title "网上股票交易系统5.0" --orders "Z:$orders" </dev/null >/dev/null 2>&1 &
trader_pid=$!
for _ in $(seq 1 100); do [ -f "$orders" ] && break; sleep 0.2; done
placed=0
while read -r side code price qty; do
  case "$side" in 买入) side=buy ;; 卖出) side=sell ;; *) continue ;; esac
  echo "-- $side $code $price x $qty"
  "$QV_WINE64" "$wintool" order --profile "Z:$ROOT/dist/settings/simtrader_keystroke.ini" \
    --side "$side" --code "$code" --price "$price" --qty "$qty" </dev/null | tr -d '\r' |
    grep -E '^(status|association)|controls' | sed 's/^/   /' || true
  placed=$((placed + 1))
done < <(sed -nE 's/.*: (买入|卖出) ([0-9]+) .* at ([0-9.]+) x ([0-9]+) \(price [0-9.]+, automatic\)$/\1 \2 \3 \4/p' \
  "$demo/fires.txt")
for _ in $(seq 1 50); do [ "$(grep -c . "$orders")" -ge "$placed" ] && break; sleep 0.2; done
import -window root "$demo/screenshot.png" 2>/dev/null || true
kill "$trader_pid" 2>/dev/null || true
trader_pid=""
echo
echo "== orders the trading program accepted ($orders)"
tr -d '\r' <"$orders"
echo "   $(grep -c . "$orders") of $placed automatic orders arrived"

echo
echo "== the push plug-in in the stand-in trade client"
plugin="$demo/plugin"
mkdir -p "$plugin"
cp build/win64/plugin/plugin_host.exe build/win64/plugin/Pellumin.dll "$plugin/"
(cd "$plugin" && "$QV_WINE64" plugin_host.exe </dev/null | tr -d '\r' >session.txt || true)
grep -E 'passed, [0-9]+ failed' "$plugin/session.txt" | sed 's/^/   session checks: /'
echo "   trace files: $(cd "$plugin" && ls T0002/wt_cache 2>/dev/null | tr '\n' ' ')"

echo
echo "== quorvel.exe with the monitors after the replay"
# A copy of the application folder with the store and the trade log of the
# replay; no vendor site answers here, so the notice pane says so.
rm -rf "$demo/app"
cp -r build/win64/app "$demo/app"
cp "$demo/policy-after.tmp" "$demo/app/data/policy.tmp"
cp "$demo/trade.log" "$demo/app/log/trade.log"
printf '[网站]\r\n网站地址=http://127.0.0.1:9\r\n' | iconv -f UTF-8 -t GBK >"$demo/app/vendor.ini"
driver() { "$QV_WINE64" build/win64/tests/qv-uidriver.exe "$@" </dev/null 2>/dev/null | tr -d '\r'; }
"$QV_WINE64" "$demo/app/quorvel.exe" </dev/null >/dev/null 2>&1 &
program_pid=$!
driver answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 30000 >/dev/null || true
caption="Tarvolen系列-Merrowickv1.7.6"
driver listview --title "$caption" --exact --until "rows " | awk -F'\t' '$1 == "row" { printf "   %s %s %s %s %s\n", $5, $6, $7, $8, $9 }' || true
import -window root "$demo/main-window.png" 2>/dev/null || true
driver close --title "$caption" --exact >/dev/null || true
driver answer --title "提示" --button "是" >/dev/null || true
wait "$program_pid" 2>/dev/null || true
echo "   closed after the close question; screenshot: $demo/main-window.png"

echo
echo "Kept in $demo: policy.tmp, tape.csv, fires.txt, trade.log, policy-after.tmp, orders.txt, screenshot.png,"
echo "main-window.png, app/ (the program's folder as the run left it), plugin/"
