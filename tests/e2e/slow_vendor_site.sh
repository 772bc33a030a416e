#!/usr/bin/env bash
# An unattended start while the vendor site is slowed down on purpose (its
# notice and version pages send one byte every 3 s, so each step of a
# request is well within its time-out): the remembered login still happens
# within 10 s of the start-up notice, the version check ends by its
# deadline and says so in the update log, and the program closes promptly.
set -uo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_check_files || exit 1
host=127.0.64.9
web=18164

work=$(mktemp -d "$ROOT/build/e2e-slow-site.XXXXXX")
export ROAD_DRIVER_LOG="$work/driver.err"
pid=""
server_pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

timeout 120 "$road_server" --host "$host" --web-port "$web" --quote-port 17764 --user trader01:pw6543 \
  --web-drip-ms 3000 --record "$work/record.jsonl" >"$work/server.txt" 2>&1 &
server_pid=$!
road_wait_line "$work/server.txt" "ready on $host" 10 || { cat "$work/server.txt"; exit 1; }

cp -r "$road_app" "$work/app"
cp "$road_account" "$work/app/"
road_install_engine "$work/app" "$host" "$web"
printf '%s\r\n' "$host" >"$work/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
python3 "$ROOT/tests/tools/write_options.py" "$work/app/option.opt" "$host" trader01 pw6543

cd "$work/app"
"$QV_WINE" quorvel.exe </dev/null >"$work/program.out" 2>&1 &
pid=$!
cd "$work"

road_check "the start-up notice shows" \
  road_drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 30000
answered=$(date +%s%N)
road_check "the login reached the account service" \
  road_wait_line "$work/record.jsonl" '"event":"login".*"ok":true.*"user":"trader01"' 30
took=$(( ($(date +%s%N) - answered) / 1000000 ))
echo "the login reached the account service $took ms after the start-up notice was answered"
road_check "within 10 s, though the version page is still dripping" test "$took" -le 10000
road_check "the version page was asked" grep -q '"event":"web".*"path":"/version"' "$work/record.jsonl"
# The check's own deadline (8 s) ends it; its failure goes into the update log.
log_says_deadline() { iconv -f GBK -t UTF-8 "$work/app/log/update.log" 2>/dev/null | grep -q "秒内回答完"; }
road_check "the version check ended by its deadline and the update log says so" road_wait_for 15 log_says_deadline

road_drive answer --title "Tarvolen-Merrowick" --exact --button "确定" --timeout-ms 5000 >/dev/null || true
road_drive close --title "$road_caption" --exact >/dev/null || true
road_drive answer --title "提示" --button "是" >/dev/null || true
ended() { ! kill -0 "$pid" 2>/dev/null; }
road_check "the program ended after the close question" road_wait_for 15 ended
wait "$pid" 2>/dev/null
pid=""

if [ "$road_fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- record"; cat "$work/record.jsonl" || true
  road_drive windows
fi
exit "$road_fail"
