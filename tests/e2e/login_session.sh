#!/usr/bin/env bash
# A user's session in quorvel.exe against quorvel-sim-server on its own
# loopback address, with the stand-in velmora.dll and the shipped drasken.dll
# (polling the server's quote formats) beside the program: the remembered choices of option.opt log in by themselves about
# five seconds after the login dialog shows; the login pane, the server's
# record (login, presence) and the user information dialog show the
# session; a system message reaches the program; "logged in elsewhere" logs
# it out with its warning; a wrong user is refused with the service's
# reason; the program closes promptly with its workers. Screenshots of the
# login and user information dialogs go into the test logs.
set -uo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_check_files || exit 1
mkdir -p "$road_logs"
host=127.0.63.7
web=18163

work=$(mktemp -d "$ROOT/build/e2e-login-session.XXXXXX")
export ROAD_DRIVER_LOG="$work/driver.err"
pid=""
server_pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Polls the status bar until pane 1 reads the text; true when it did in time.
login_pane_reads() { # <text> <seconds>
  local end=$((SECONDS + $2))
  while [ $SECONDS -lt $end ]; do
    road_drive statusbar --title "$caption" --exact >"$work/status.txt" || true
    grep -qP "^pane\t1\t\d+\t$1\$" "$work/status.txt" && return 0
    sleep 0.2
  done
  return 1
}

timeout 300 "$road_server" --host "$host" --web-port "$web" --quote-port 17763 --user trader01:pw6543 \
  --user-info "trader01:display=王五,type=2,level=2,levelpicture=3,online=9000,next=5400,email=w@example.com" \
  --record "$work/record.jsonl" >"$work/server.txt" 2>&1 &
server_pid=$!
road_wait_line "$work/server.txt" "ready on $host" 10 || { cat "$work/server.txt"; exit 1; }

# The application folder with the stand-ins, this server as the only one,
# and option.opt as a user leaves it who ticked all three boxes.
cp -r "$road_app" "$work/app"
cp "$road_account" "$work/app/"
road_install_engine "$work/app" "$host" "$web"
printf '%s\r\n' "$host" >"$work/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
python3 "$ROOT/tests/tools/write_options.py" "$work/app/option.opt" "$host" trader01 pw6543

caption="Tarvolen系列-Merrowickv1.7.6"
cd "$work/app"
"$QV_WINE" quorvel.exe </dev/null >"$work/program.out" 2>&1 &
pid=$!
cd "$work"

road_drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 30000 >/dev/null || true
road_drive wait-window --title "用户登录" --exact --timeout-ms 30000 >"$work/login.txt" || true
shown=$SECONDS
shown_at=$(date +%s)
road_check "the login dialog shows after the version check" grep -q "用户登录" "$work/login.txt"
road_drive children --title "用户登录" --exact >"$work/login-children.txt" || true
road_check "the remembered user is filled in" grep -qP "\tEdit\ttrader01\t" "$work/login-children.txt"
road_check "the remembered server is chosen" grep -qP "\tEdit\t$host\t" "$work/login-children.txt"
road_shot login-dialog.png

road_check "it logs in by itself: the login pane reads ID：trader01" login_pane_reads "ID：trader01" 40
echo "the login pane read the user $((SECONDS - shown)) s after the dialog showed"
# The timer is measured by the server's clock of the login itself: the
# panes follow later, after the engine start and the association.
login_time=$(grep -m1 '"event":"login"' "$work/record.jsonl" | sed -nE 's/.*"time":"([^"]+)".*/\1/p')
took=$(( $(date -d "${login_time%.*}" +%s) - shown_at ))
echo "the account service saw the login $took s after the dialog showed"
road_check "the auto-login waited about five seconds" test "$took" -ge 4 -a "$took" -le 12
# No trading program runs here: the association after the login says so.
road_drive dialog --title "Tarvolen-Merrowick" --exact --until "没有找到证券交易系统" --timeout-ms 20000 >"$work/assoc.txt" || true
road_check "the association after the login looked for the trading program" grep -q "没有找到证券交易系统" "$work/assoc.txt"
road_drive answer --title "Tarvolen-Merrowick" --exact --button "确定" >/dev/null || true
road_check "the account service saw the login" road_wait_line "$work/record.jsonl" '"event":"login".*"ok":true.*"user":"trader01"' 5
road_check "the online presence reached the message service" \
  road_wait_line "$work/record.jsonl" '"event":"presence".*"online":true.*"user":"trader01"' 10
road_check "the password never went into option.opt in clear" bash -c "! grep -q pw6543 '$work/app/option.opt'"

# The user information dialog, from the menu item "账户信息[&A]".
road_drive command --title "$caption" --exact --id 40003 >/dev/null || true
road_drive listview --title "账户信息" --exact --until "rows 9" >"$work/userinfo.txt" || true
road_check "user information: the identifier" grep -qP "^row\t0\t.*\t用户ID\ttrader01$" "$work/userinfo.txt"
road_check "user information: the type" grep -qP "\t用户类型\tVIP$" "$work/userinfo.txt"
road_check "user information: the online time" grep -qP "\t在线时间\t2.50小时$" "$work/userinfo.txt"
road_check "user information: the level" grep -qP "\t等级\t2级$" "$work/userinfo.txt"
road_shot user-info-dialog.png
road_drive click --title "账户信息" --exact --text "关闭[&C]" >/dev/null || true
road_drive statusbar --title "$caption" --exact >"$work/status.txt" || true
road_check "the level label shows level and hours" grep -qP "2级 2.50 h" <(road_drive children --title "$caption" --exact)

# A system message reaches the one program connected.
curl -sS -d '{"text":"系统维护通知"}' "http://$host:$web/admin/message" >"$work/message.json" || true
road_check "the system message reached the program" grep -q '"reached":1' "$work/message.json"

# Logged in elsewhere: logged out, then told.
curl -sS -d '' "http://$host:$web/admin/elsewhere" >"$work/elsewhere.json" || true
road_drive dialog --title "服务中断！" --exact --timeout-ms 15000 >"$work/warning.txt" || true
road_check "the forced logout is explained" grep -q "该账户在其他地方登录，您被迫下线！" "$work/warning.txt"
road_check "the login pane says not logged in" login_pane_reads "未登录" 5
road_check "the offline presence was sent before the connection closed" \
  road_wait_line "$work/record.jsonl" '"event":"presence".*"online":false.*"user":"trader01"' 5
road_check "the account service saw the logout" road_wait_line "$work/record.jsonl" '"event":"logout"' 5
road_drive answer --title "服务中断！" --exact --button "确定" >/dev/null || true

# A user the server does not know: refused with its reason, the dialog stays.
road_drive command --title "$caption" --exact --id 40001 >/dev/null || true
road_drive wait-window --title "用户登录" --exact --timeout-ms 15000 >/dev/null || true
user_id=$(road_drive children --title "用户登录" --exact | awk -F'\t' '$5 == "Edit" && $6 == "trader01" { print $4; exit }')
[ -n "$user_id" ] && road_drive keys --title "用户登录" --exact --id "$user_id" "x" >/dev/null
road_drive click --title "用户登录" --exact --text "确定" >/dev/null || true
road_drive dialog --title "Tarvolen-Merrowick" --exact --until "登录失败" --timeout-ms 15000 >"$work/refused.txt" || true
road_check "the refusal names the service's reason" grep -q "登录失败：用户名或密码错误" "$work/refused.txt"
road_drive answer --title "Tarvolen-Merrowick" --exact --button "确定" >/dev/null || true
road_drive click --title "用户登录" --exact --text "取消" >/dev/null || true
road_check "still logged out" login_pane_reads "未登录" 5

# Closing: the workers end with the window, so the process ends promptly.
road_drive close --title "$caption" --exact >/dev/null || true
road_drive answer --title "提示" --button "是" >/dev/null || true
for _ in $(seq 1 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
road_check "the program ended after the close question" bash -c "! kill -0 $pid 2>/dev/null"
wait "$pid" 2>/dev/null
pid=""

if [ "$road_fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- record"; cat "$work/record.jsonl" || true
  echo "--- status"; cat "$work/status.txt" || true
  echo "--- login dialog"; cat "$work/login-children.txt" || true
  echo "--- user information"; cat "$work/userinfo.txt" || true
  echo "--- refusal"; cat "$work/refused.txt" || true
  road_drive windows
fi
exit "$road_fail"
