#!/usr/bin/env bash
# Takes the pictures of the user guide (docs/images/*.png) from the real
# program: the shipped i686 quorvel.exe under 32-bit Wine, in Wine's virtual
# desktop of a prefix of its own (build/wineprefix-guide), so that windows
# have their title bars and frames. It runs the program as a package
# installs it (no account library, the shipped quote engine polling the
# stand-in server's public quote formats, the stand-in trading program),
# shows the first start, then starts the monitors of the sample store,
# plays a short quote tape so that they fire, and opens each window the
# guide shows. Every picture is cropped to its window.
#
# Run it again whenever a window changes, look at every picture, and commit
# them with the guide. It takes a few minutes; it is no part of the tests.
#   scripts/guide-screenshots.sh [output folder]   (default docs/images)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
out="${1:-$ROOT/docs/images}"
mkdir -p "$out"

echo "== preparing"
scripts/setup.sh >/dev/null
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT/..}" CCACHE_NOHASHDIR=1
cmake --preset native >/dev/null
cmake --build build/native --target quorvel-sim-server make_replay_example quorvel-tool qv_fake_clock -j2 >/dev/null
cmake --preset win32 >/dev/null
# The program is built before its pictures exist: the guide may link some
# that this run is to take.
QV_GUIDE_DRAFT=1 cmake --build build/win32 --target app_folder qv-uidriver simtrader velmora -j2 >/dev/null

export QV_WINEPREFIX="$ROOT/build/wineprefix-guide"
# shellcheck source=scripts/wine-env.sh
. scripts/wine-env.sh
# shellcheck source=scripts/road.sh
. scripts/road.sh
road_begin
trap 'road_stop_all; qv_wine_stop; rm -rf "$work"' EXIT
qv_wine_start
if ! grep -q '"Default"="1024x768"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$QV_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "$QV_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
  qv_wine_stop
  qv_wine_start
fi

# window_of <title> [--exact]: the handle and rectangle of a window, tab-separated.
window_of() {
  road_drive wait-window --title "$1" "${@:2}" --timeout-ms 20000 |
    awk -F'\t' '$1 == "window" { print $2 "\t" $6; exit }'
}
# picture <handle> <rectangle> <name>: the window brought to the top, the
# screen taken and cut to the window, colours reduced where it loses nothing.
picture() {
  local l t r b
  road_drive raise --window "$1" >/dev/null || true
  sleep 0.5 # the window repaints after it came to the top
  IFS=, read -r l t r b <<<"$2"
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$((r - l))x$((b - t))+$l+$t" +repage -strip "$work/cut.png"
  if [ "$(identify -format %k "$work/cut.png")" -le 256 ]; then
    convert "$work/cut.png" PNG8:"$out/$3.png"
  else
    convert "$work/cut.png" -define png:compression-level=9 "$out/$3.png"
  fi
  echo "   $3.png ($(identify -format '%wx%h' "$out/$3.png"), $(($(stat -c %s "$out/$3.png") / 1024)) KB)"
}
# window_picture <title> <name> [--exact]: waits for the window, takes it.
window_picture() {
  local found
  found=$(window_of "$1" "${@:3}")
  [ -n "$found" ] || { echo "   no window \"$1\""; return 1; }
  picture "${found%%$'\t'*}" "${found#*$'\t'}" "$2"
}
# menu_picture <command id> <title> <name> [--exact]: a window opened from the
# main menu; with before_picture set, that command runs on it first.
before_picture=""
menu_picture() {
  road_drive command --window "$road_main" --id "$1" >/dev/null
  road_drive wait-window --title "$2" "${@:4}" >/dev/null || true
  [ -z "$before_picture" ] || $before_picture "$2"
  before_picture=""
  window_picture "$2" "$3" "${@:4}" || true
  road_drive close --title "$2" "${@:4}" >/dev/null || true
  road_drive wait-gone --title "$2" "${@:4}" >/dev/null || true
}

host=127.0.73.1 web=18191
road_no_account=1
mkdir -p "$work/sample"
road_example "$work/sample" "$work/tape.csv"

echo "== the first start: the notice and the login"
first="$work/first"
mkdir -p "$first"
cp -r "$road_app" "$first/app"
road_install_engine "$first/app" "$host" "$web"
printf '%s\r\n' "$host" >"$first/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$first/app/vendor.ini"
timeout 300 "$road_server" --host "$host" --web-port "$web" --quote-port 7709 >"$first/server.out" 2>&1 &
road_pids+=($!)
road_wait_for 10 grep -q "ready on $host" "$first/server.out"
(cd "$first/app" && exec "$QV_WINE" quorvel.exe </dev/null >"$first/program.out" 2>&1) &
road_pids+=($!)
window_picture "使用提示！" startup-notice --exact
road_drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 20000 >/dev/null
window_picture "用户登录" login --exact
road_drive click --title "用户登录" --exact --text "取消" >/dev/null || true
road_drive wait-gone --title "用户登录" --exact >/dev/null || true
road_main=$(road_drive wait-window --title "$road_caption" --exact | awk -F'\t' '$1 == "window" { print $2; exit }')
road_close_program
road_stop_all

echo "== the program at work: monitors, fires and orders"
run="$work/run"
road_start "$run" simtrader_keystroke.ini "$host" "$web" "$work/sample/policy.tmp" "$work/tape.csv"
road_start_monitors "$run" 8
road_play "$run" "$host" "$web" 0 "${#road_rows[@]}"
road_wait_for 30 road_has_lines "$run/orders.txt" "$road_automatic" || true
# The outcomes of the orders are read from the trading program's boxes.
road_wait_for 20 grep -q . "$run/app/log/orders.csv" || true
sleep 4
road_drive listview --window "$road_main" --until "rows 8" >/dev/null || true
found=$(road_drive windows | awk -F'\t' -v h="$road_main" '$1 == "window" && $2 == h { print $2 "\t" $6; exit }')
picture "${found%%$'\t'*}" "${found#*$'\t'}" main-window

# One editor of each kind, opened for changing by a double click on its
# row: the row's label (column "启动/策略") names the kind.
declare -A editor_title=([止盈]=修改移动止盈 [止损]=修改条件止损 [限跌]=修改限价下跌反弹
  [价位]=修改按价位监视 [时间]=修改按时间监视 [指数]=修改指数策略)
declare -A editor_file=([止盈]=editor-payoff [止损]=editor-losslimit [限跌]=editor-limitdown
  [价位]=editor-price [时间]=editor-time [指数]=editor-index)
declare -A taken=()
while IFS=$'\t' read -r _ row _ _ _ label _; do
  kind=${label%%-*}
  [ -n "${editor_title[$kind]:-}" ] && [ -z "${taken[$kind]:-}" ] || continue
  taken[$kind]=1
  road_drive listview-dblclick --window "$road_main" "$row" >/dev/null
  window_picture "${editor_title[$kind]}" "${editor_file[$kind]}" --exact || true
  road_drive close --title "${editor_title[$kind]}" --exact >/dev/null || true
  road_drive wait-gone --title "${editor_title[$kind]}" --exact >/dev/null || true
done < <(road_drive listview --window "$road_main" | grep -P '^row\t')

# The menu items by their command numbers (app::Cmd): 40009 "触发记录[&L]",
# 40022 "设置[&O]", 40005 "下载配置[&D]", 40006 "关联配置[&O]",
# 40100 "消息推送[&N]", 40101 "回测…", 40036 the menu bar's button "下单测试".
menu_picture 40009 "触发记录查看" trade-log-viewer
menu_picture 40022 "设置" settings --exact
# The profiles of settings\ listed, as after "刷新本地配置列表".
list_local_profiles() {
  road_drive click --title "$1" --text "刷新本地配置列表" >/dev/null || true
  road_drive listview --title "$1" --index 1 --until "rows 2" >/dev/null || true
}
before_picture=list_local_profiles
menu_picture 40005 "下载配置 (" download-profile
menu_picture 40006 "修改关联下单软件名称" caption-tool
menu_picture 40100 "消息推送" notify
menu_picture 40036 "测试窗口" order-test
# The day just recorded, replayed through the store.
replay_today() {
  road_drive click --title "$1" --exact --text "开始回测" >/dev/null || true
  road_drive listview --title "$1" --exact --id 206 --until $'rows\t8' >/dev/null || true
}
before_picture=replay_today
menu_picture 40101 "回测" replay --exact

road_close_program
road_stop_all
echo "Pictures in $out; look at each before committing them."
