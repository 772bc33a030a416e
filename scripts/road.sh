# Sourced by the end-to-end scenario and the demo: the road of one quote
# with every stand-in. quorvel.exe logs in by itself to quorvel-sim-server
# through the stand-in velmora.dll, the user starts all monitors from the
# toolbar, the server plays a quote tape that the shipped drasken.dll polls
# from the server's public quote formats (its drasken.ini names them), the
# monitors fire and the program types their orders into the stand-in
# trading program.
#
# The tape is played in steps (--tape-step): road_play releases one row at
# a time and, after a row on which the replay fires a monitor, waits for
# that fire's trade log line before it releases more. Reports that arrive
# while an order is being typed fire nothing by design, so a fixed pace
# would make the result depend on how long Wine takes to type an order.
#
# A row counts as played once the engine has fetched an answer holding it
# (the server's "delivered"), so that a polling engine sees every row.
#
# Needs ROOT, QV_WINE, QV_WIN_BUILD and qv_trading_time (scripts/wine-env.sh)
# and a running Wine.

road_app="$QV_WIN_BUILD/app"
road_driver="$QV_WIN_BUILD/tests/qv-uidriver.exe"
road_trader="$QV_WIN_BUILD/sim/trader/simtrader.exe"
road_engine="$QV_WIN_BUILD/src/engine/drasken.dll"
road_account="$QV_WIN_BUILD/sim/account_service/velmora.dll"
road_server="$ROOT/build/native/sim/server/quorvel-sim-server"
road_make_example="$ROOT/build/native/tests/make_replay_example"
road_tool="$ROOT/build/native/src/tool/quorvel-tool"
road_caption="Tarvolen系列-Merrowickv1.7.6"
road_trader_title="网上股票交易系统5.0"

# The sample tape's day (a Friday) at a trading time: the road's programs
# run then (qv_trading_time), so the tape's reports are live trades at any
# hour the scenario runs. A scenario may choose another time before road_start.
road_trading_time="2012-05-18 10:00:00"

road_pids=()
# More options for the server, and a function run on the application
# folder before the program starts (road_prepare_app <folder>), for
# scenarios that need them.
road_server_args=()
# Options for the stand-in trading program (its broker rules: --cash, --lot, --limit).
road_trader_args=()
road_check_files() {
  local f
  for f in "$road_app/quorvel.exe" "$road_driver" "$road_trader" "$road_engine" "$road_account" "$road_server" \
    "$road_make_example" "$road_tool"; do
    [ -e "$f" ] || { echo "missing $f"; return 1; }
  done
}
# Ends every process the road started, by its id.
road_stop_all() {
  local p
  for p in "${road_pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${road_pids[@]}"; do wait "$p" 2>/dev/null || true; done
  road_pids=()
}

road_drive() { "$QV_WINE" "$road_driver" "$@" </dev/null 2>>"${ROAD_DRIVER_LOG:-/dev/null}" | tr -d '\r'; }
# road_wait_for <seconds> <command...>
road_wait_for() {
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}
road_count_lines() { if [ -f "$1" ]; then tr -d '\r' <"$1" | grep -c . || true; else echo 0; fi; }
road_has_lines() { [ "$(road_count_lines "$1")" -ge "$2" ]; }
# road_pane_reads <pane> <text pattern>: a pane of the main window's status bar.
road_pane_reads() {
  grep -qP "^pane\t$1\t\d+\t$2" <(road_drive statusbar --window "$road_main")
}
road_status_reads() { grep -qP "\t$1" <(road_drive statusbar --window "$road_main"); }
# (Names may hold spaces: the state is found by what follows it.)
road_store_running() { # <store> <count>
  [ "$("$road_tool" policy-dump "$1" 2>/dev/null | grep -c ' running fired=')" -eq "$2" ]
}

# road_expect <work> <tape>: what quorvel-tool replay computes for the
# replay example's store (<work>/policy.tmp) and the tape: <work>/replay.txt,
# replay-trade.log, replay-after.tmp, expected-orders.txt (side,code,price,qty),
# expected-states.txt; road_fires, road_automatic, road_rows (the tape's
# rows) and road_fire_row (indexes of the rows on which a monitor fires).
road_expect() {
  local work=$1 tape=$2 day time i
  "$road_tool" replay --store "$work/policy.tmp" --tape "$tape" --start all --user demo \
    --trade-log "$work/replay-trade.log" --save "$work/replay-after.tmp" >"$work/replay.txt"
  sed -nE 's/.*: (买入|卖出) ([0-9]+) .* at ([0-9.]+) x ([0-9]+) \(price [0-9.]+, automatic\)$/\1,\2,\3,\4/p' \
    "$work/replay.txt" | sed 's/^买入/buy/; s/^卖出/sell/' >"$work/expected-orders.txt"
  road_fires=$(grep -c ' fire #' "$work/replay.txt")
  road_automatic=$(grep -c . "$work/expected-orders.txt")
  mapfile -t road_rows < <(grep -vE '^(time,|#)' "$tape")
  declare -gA road_fire_row=()
  while read -r day time; do
    for i in "${!road_rows[@]}"; do
      [[ "${road_rows[$i]}" == "$day $time,"* ]] && road_fire_row[$i]=1
    done
  done < <(sed -nE 's/^([0-9-]+) ([0-9:]+) fire #.*/\1 \2/p' "$work/replay.txt")
  "$road_tool" policy-dump "$work/replay-after.tmp" | awk '{ print $1, $6, $7 }' >"$work/expected-states.txt"
}

# road_example <folder> <tape>: the replay example's store (<folder>/policy.tmp)
# and its tape without the time monitor's rows as <tape> (that monitor fires
# on the wall clock here but on the tape's clock in the replay, so it would be
# compared with a different minute); then road_expect for them.
road_example() {
  "$road_make_example" "$1" >/dev/null
  grep -v ',600004,' "$1/tape.csv" >"$2"
  road_expect "$1" "$2"
}

# road_begin: the scenario's scratch folder $work, with the UI driver's log
# in it; at the end every process the road started is ended and the folder
# removed.
road_begin() {
  road_check_files
  work=$(mktemp -d)
  export ROAD_DRIVER_LOG="$work/driver.err"
  trap 'road_stop_all; rm -rf "$work"' EXIT
}

# road_write_options <option.opt> <server>: the user ticked all three boxes
# of the login dialog last time, so the program logs in by itself.
road_write_options() {
  python3 "$ROOT/tests/tools/write_options.py" "$1" "$2" demo demo123
}

# road_install_engine <app folder> <host> <web port> [order]: the shipped
# drasken.dll beside the program, its drasken.ini naming the server's comma
# and tilde formats (in that order unless given), polled fast whatever the
# hour.
road_install_engine() {
  cp "$road_engine" "$1/"
  printf '[sources]\r\norder=%s\r\ncomma=http://%s:%s/list=\r\ntilde=http://%s:%s/q=\r\ninterval_ms=100\r\nidle_interval_ms=100\r\n' \
    "${4:-comma,tilde}" "$2" "$3" "$2" "$3" >"$1/drasken.ini"
}
# road_format <host> <web port> <comma|tilde> <fail|recover>: one of the
# server's quote formats answers 503 from now on, or answers again.
road_format() { curl -sf -d "" "http://$1:$2/admin/quote-format/$3/$4" >/dev/null; }

# road_start <dir> <profile> <host> <web port> <store> <tape>: an application
# folder <dir>/app with the stand-ins and the store, the server playing the
# tape in steps, the trading program (orders in <dir>/orders.txt) and
# quorvel.exe; returns once the program has logged in by itself and
# associated the trading program. road_main is the main window's handle.
road_start() {
  local dir=$1 profile=$2 host=$3 web=$4 store=$5 tape=$6
  road_logged=0
  qv_trading_time "$road_trading_time"
  mkdir -p "$dir"
  cp -r "$road_app" "$dir/app"
  # Without the account library (road_no_account=1) the program runs as
  # installed from its package: the login counts as done, no server session.
  [ "${road_no_account:-0}" = 1 ] || cp "$road_account" "$dir/app/"
  road_install_engine "$dir/app" "$host" "$web"
  cp "$store" "$dir/app/data/policy.tmp"
  printf '%s\r\n' "$host" >"$dir/app/servers.cfg"
  printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$dir/app/vendor.ini"
  iconv -f GBK -t UTF-8 "$road_app/config.ini" | sed "s/^行情交易配置文件名称=.*/行情交易配置文件名称=$profile/" |
    iconv -f UTF-8 -t GBK >"$dir/app/config.ini"
  road_write_options "$dir/app/option.opt" "$host"

  # The server stops by itself should the caller be killed.
  timeout 600 "$road_server" --host "$host" --web-port "$web" --quote-port 7709 --user demo:demo123 \
    --tape "$tape" --tape-step --record "$dir/record.jsonl" ${road_server_args[@]+"${road_server_args[@]}"} \
    >"$dir/server.out" 2>&1 &
  road_pids+=($!)
  road_wait_for 10 grep -q "ready on $host" "$dir/server.out" || { cat "$dir/server.out"; return 1; }
  "$QV_WINE" "$road_trader" --title "$road_trader_title" --orders "Z:$dir/orders.txt" "${road_trader_args[@]}" </dev/null >/dev/null 2>&1 &
  road_trader_pid=$!
  road_pids+=($road_trader_pid)
  road_wait_for 30 test -f "$dir/orders.txt" || { echo "the trading program did not start"; return 1; }

  if declare -F road_prepare_app >/dev/null; then road_prepare_app "$dir/app"; fi
  (cd "$dir/app" && exec "$QV_WINE" quorvel.exe </dev/null >"$dir/program.out" 2>&1) &
  road_program_pid=$!
  road_pids+=($road_program_pid)
  road_drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 30000 >/dev/null || true
  # By its handle: the caption names the trading program once associated.
  road_main=$(road_drive wait-window --title "$road_caption" --exact --timeout-ms 30000 |
    awk -F'\t' '$1 == "window" { print $2; exit }')
  [ -n "$road_main" ] || { echo "no main window"; return 1; }
  road_wait_for 30 road_pane_reads 1 "ID：demo\$" || { echo "the program did not log in"; return 1; }
  road_wait_for 15 road_status_reads "和交易软件关联" || { echo "the trading program was not associated"; return 1; }
}

# road_start_monitors <dir> <count>: the toolbar button "启动所有监控", as a
# user would press it; returns once the saved store has them running.
road_start_monitors() {
  road_drive toolbar-click --window "$road_main" --text "启动所有监控" >/dev/null || true
  road_wait_for 10 road_store_running "$1/app/data/policy.tmp" "$2"
}

road_tape_played() { # <host> <web port> <rows>
  curl -sf "http://$1:$2/admin/status" |
    python3 -c 'import json, sys; sys.exit(json.load(sys.stdin)["quote"]["delivered"] < int(sys.argv[1]))' "$3"
}
# road_play <dir> <host> <web port> <first row> <end row>: releases the
# tape's rows [first, end) one by one; after a row that fires, waits for
# its trade log line. road_logged counts the lines waited for so far. With
# road_fire_ms set to a file, each firing row's time from its release to
# its trade log line (ms) is appended to it.
road_logged=0
road_fire_ms=""
road_play() {
  local dir=$1 host=$2 web=$3 first=$4 end=$5 i t0
  for ((i = first; i < end; i++)); do
    t0=$(date +%s%3N)
    curl -sf -d '{"rows":1}' "http://$host:$web/admin/tape/release" >/dev/null
    road_wait_for 10 road_tape_played "$host" "$web" "$((i + 1))" || { echo "row $((i + 1)) was not played"; return 1; }
    if [ -n "${road_fire_row[$i]:-}" ]; then
      road_logged=$((road_logged + 1))
      road_wait_for 30 road_has_lines "$dir/app/log/trade.log" "$road_logged" ||
        { echo "no trade log line for row $((i + 1))"; return 1; }
      [ -z "$road_fire_ms" ] || echo $(($(date +%s%3N) - t0)) >>"$road_fire_ms"
    fi
  done
}

# Closes the program as a user would, through its question.
road_close_program() {
  road_drive close --window "$road_main" >/dev/null || true
  road_drive answer --title "提示" --button "是" >/dev/null || true
}

# What every scenario script shares besides the road: the test logs, checks
# that print their outcome and remember a failure (road_fail, the script's
# exit status), steps, waits for a line of a file, screenshots and GBK files.
road_logs="$ROOT/build/test-logs"
road_fail=0
road_check() { # <description> <command...>
  if "${@:2}"; then echo "ok ($SECONDS s): $1"; else echo "FAILED ($SECONDS s): $1"; road_fail=1; fi
}
road_step() { echo "-- $(date +%T) $*"; } # <what happens now>
road_wait_line() { road_wait_for "$3" grep -qs "$2" "$1"; } # <file> <pattern> <seconds>
road_shot() { mkdir -p "$road_logs" && import -window root "$road_logs/$1" 2>/dev/null || true; } # <png name>
road_gbk_has() { iconv -f GBK -t UTF-8 "$1" | tr -d '\r' | grep -qx "$2"; } # <file> <line>
# road_list_shows <code> <price>: the main window's monitor list shows the
# price as the current one ("当前价") in a row of the code.
road_list_shows() {
  road_drive listview --window "$road_main" |
    awk -F'\t' -v code="$1" -v price="$(printf '%.3f' "$2")" '$1 == "row" && $7 == code && $10 == price { found = 1 } END { exit !found }'
}
# road_file_dialog <title> <path>: types the path into the file name field of
# the open or save dialog titled so and presses Enter.
road_file_dialog() {
  local parent id
  road_drive wait-window --title "$1" --timeout-ms 10000 >/dev/null || true
  # The name field (an edit inside a combo box), found as a user's eye would.
  read -r parent id < <(road_drive children --title "$1" | awk -F'\t' '$1 == "child" && $5 == "Edit" { print $3, $4; exit }')
  road_drive set-text --window "$parent" --id "$id" "$(printf 'Z:%s' "$2" | tr '/' '\\')" >/dev/null || true
  road_drive key --window "$parent" --id "$id" Enter >/dev/null || true
  road_drive wait-gone --title "$1" >/dev/null || true
}
