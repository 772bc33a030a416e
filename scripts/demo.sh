#!/usr/bin/env bash
# The main job on this machine, with the real program: the shipped i686
# quorvel.exe runs under 32-bit Wine with the shipped quote engine drasken.dll
# (polling the stand-in server's public quote formats) and every stand-in
# (account service and server, broker trading program), logs in by itself,
# the user starts the monitors of a small sample store from the toolbar, a
# short quote tape fires them and the program types the automatic orders into
# the trading program.
# What happened is told in a person's terms; pictures of the main window,
# the trading program with its accepted orders and the trade log viewer are
# kept in build/demo. Then the push plug-in is loaded by the stand-in trade
# client and plays its session.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

echo "== preparing (first run: installs packages and builds; later runs are quick)"
scripts/setup.sh >/dev/null
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done

demo="$ROOT/build/demo"
rm -rf "$demo"
mkdir -p "$demo/sample"

# The demo's own Wine prefix: its programs run inside Wine's virtual
# desktop, so the pictures show title bars and frames as on Windows.
export QV_WINEPREFIX="$ROOT/build/wineprefix-demo"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
# shellcheck source=scripts/road.sh
. scripts/road.sh
road_check_files
trap 'road_stop_all; qv_wine_stop' EXIT
qv_wine_start
if ! grep -q '"Default"="1280x1024"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$QV_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "$QV_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null
  qv_wine_stop
  qv_wine_start
fi
shot() { import -window root "$1" 2>/dev/null || true; }
# crop <picture> <window handle> <file>: the window's own rectangle.
crop() {
  local rect
  rect=$(road_drive windows | awk -F'\t' -v h="$2" '$1 == "window" && $2 == h { print $6; exit }')
  IFS=, read -r l t r b <<<"$rect"
  [ -n "${b:-}" ] && convert "$1" -crop "$((r - l))x$((b - t))+$l+$t" +repage "$3"
}

# The replay example's store of eight monitors and its tape, without the
# time monitor's rows: that monitor waits for 14:30 on the wall clock.
road_example "$demo/sample" "$demo/tape.csv"

echo
echo "== the monitors of the sample store"
"$road_tool" policy-dump "$demo/sample/policy.tmp" | sed -E 's/^([0-9]+) ([^ ]+) ([0-9]+) ([^ ]+) .*\| /   \1 \2 \3 \4: /'

echo
echo "== quorvel.exe logs in to the stand-in account server and finds the trading program"
host=127.0.72.1 web=18190
run="$demo/run"
road_start "$run" simtrader_keystroke.ini "$host" "$web" "$demo/sample/policy.tmp" "$demo/tape.csv"
echo "   logged in as demo; the trading program \"$road_trader_title\" is associated"
echo "   quotes come from the shipped drasken.dll, polling the server's comma and tilde formats at http://$host:$web"
road_start_monitors "$run" 8
echo "   all 8 monitors started from the toolbar button \"启动所有监控\""

echo
echo "== the quote tape plays (${#road_rows[@]} quotes); the monitors fire"
road_play "$run" "$host" "$web" 0 "${#road_rows[@]}"
road_wait_for 20 road_has_lines "$run/orders.txt" "$road_automatic" || true
# The trade log line: date, time, [触发交易], code, name, side, kind, quote
# price, order price, quantity, user, description.
iconv -f GBK -t UTF-8 "$run/app/log/trade.log" | tr -d '\r' |
  awk -F', ' '{ printf "   %s %-6s %s %s fired at %s: %s\n", $2, $7, $4, $5, $8, $12 }'

echo
echo "== orders the trading program accepted ($run/orders.txt)"
tr -d '\r' <"$run/orders.txt" | awk -F, 'NF == 4 { printf "   %-4s %s  price %s  quantity %s\n", $1, $2, $3, $4 }'
echo "   $(road_count_lines "$run/orders.txt") of $road_automatic automatic orders arrived; prompt-only monitors placed nothing"
tr -d '\r' <"$run/orders.txt" | cmp -s - "$demo/sample/expected-orders.txt" &&
  echo "   exactly the orders quorvel-tool replay computes for the same store and tape"

# Pictures: each window brought to the top first.
road_drive raise --window "$road_main" >/dev/null || true
road_drive listview --window "$road_main" --until "rows 8" >/dev/null || true
shot "$demo/desktop.png"
crop "$demo/desktop.png" "$road_main" "$demo/main-window.png"
trader=$(road_drive wait-window --title "$road_trader_title" --exact | awk -F'\t' '$1 == "window" { print $2; exit }')
if [ -n "$trader" ]; then
  road_drive raise --window "$trader" >/dev/null || true
  shot "$demo/trader-shot.png"
  crop "$demo/trader-shot.png" "$trader" "$demo/trading-program.png"
fi
# The trade log viewer, from the menu item "触发记录[&L]".
road_drive command --window "$road_main" --id 40009 >/dev/null || true
viewer=$(road_drive wait-window --title "触发记录查看" --timeout-ms 15000 | awk -F'\t' '$1 == "window" { print $2; exit }')
if [ -n "$viewer" ]; then
  road_drive raise --window "$viewer" >/dev/null || true
  road_drive listview --window "$viewer" --until "rows $road_fires" >/dev/null || true
  shot "$demo/viewer-shot.png"
  crop "$demo/viewer-shot.png" "$viewer" "$demo/trade-log-viewer.png"
  road_drive close --window "$viewer" >/dev/null || true
fi
rm -f "$demo/trader-shot.png" "$demo/viewer-shot.png"
road_close_program
road_stop_all
qv_real_time
echo "   pictures: $demo/main-window.png, trading-program.png, trade-log-viewer.png, desktop.png"

echo
echo "== the push plug-in in the stand-in trade client"
plugin="$demo/plugin"
mkdir -p "$plugin"
cp "$QV_WIN_BUILD/plugin/plugin_host.exe" "$QV_WIN_BUILD/plugin/Pellumin.dll" "$plugin/"
(cd "$plugin" && "$QV_WINE" plugin_host.exe </dev/null | tr -d '\r' >session.txt || true)
grep -E 'passed, [0-9]+ failed' "$plugin/session.txt" | sed 's/^/   session checks: /'
echo "   trace files: $(cd "$plugin" && ls T0002/wt_cache 2>/dev/null | tr '\n' ' ')"

echo
echo "Kept in $demo: sample/ (store, tape, replay), tape.csv, run/ (the program's folder as the run left it,"
echo "the orders file, the server's record), the pictures above, plugin/"
