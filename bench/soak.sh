#!/usr/bin/env bash
# A day of watching, compressed: the shipped i686 quorvel.exe under 32-bit
# Wine, 1000 running monitors on 500 securities of a real comma answer
# (../shared/data/real_quotes), the shipped drasken.dll polling the stand-in
# server's comma format at a fast poll, no trading program open, at a
# trading time. Once a minute it reads the program's memory (VmRSS, RssAnon,
# VmData of its process: VmData is what Windows calls private bytes), the
# CPU time it used in that minute, and what it holds of the system (kernel
# handles, windows; GDI and USER objects where the platform counts them).
# At the end it prints memory after the warm-up beside memory at the end,
# and CPU per minute over the first minutes after the warm-up beside the
# last ones, and fails when memory grew by more than 1 MB after the warm-up,
# CPU per minute rose, or handles or windows grew. Memory is the middle of
# the first three samples and of the last three.
#
# Not part of scripts/test.sh (it runs for half an hour by default).
#
# usage: bench/soak.sh [--minutes N] [--warmup N] [--poll-ms MS] [--host 127.x.y.z] [--leave-dialog] [--keep DIR]
#   --minutes  measured minutes after the warm-up (default 30)
#   --warmup   minutes before the first measurement (default 3)
#   --poll-ms  the engine's poll interval and the server's quote interval (default 500)
#   --host     the stand-in server's loopback address (default 127.77.37.1);
#              runs side by side need one each, and QV_WINEPREFIX a prefix each
#   --leave-dialog  leave the profile dialog offered at start open (else closed)
#   --keep     keep the run's folder (program logs, samples) in DIR
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
minutes=30 warmup=3 poll_ms=500 host=127.77.37.1 keep="" leave_dialog=0
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes) minutes=$2; shift 2 ;;
    --warmup) warmup=$2; shift 2 ;;
    --poll-ms) poll_ms=$2; shift 2 ;;
    --host) host=$2; shift 2 ;;
    --leave-dialog) leave_dialog=1; shift ;;
    --keep) keep=$2; shift 2 ;;
    *) echo "usage: bench/soak.sh [--minutes N] [--warmup N] [--poll-ms MS] [--host 127.x.y.z] [--leave-dialog] [--keep DIR]" >&2
       exit 2 ;;
  esac
done
[ "$minutes" -ge 4 ] || { echo "soak: --minutes must be at least 4" >&2; exit 2; }

answer="$ROOT/../shared/data/real_quotes/comma-answer-2022-11-22.txt"
[ -f "$answer" ] || { echo "soak: missing $answer" >&2; exit 1; }

# What the soak runs, built if missing.
[ -d "$ROOT/build/native" ] || cmake --preset native >/dev/null
[ -d "$ROOT/build/win32" ] || cmake --preset win32 >/dev/null
cmake --build "$ROOT/build/native" -j2 --target quorvel-sim-server quorvel-tool make_soak_store qv_fake_clock >/dev/null ||
  { echo "soak: the native build failed" >&2; exit 1; }
cmake --build "$ROOT/build/win32" -j2 --target app_folder drasken velmora qv-uidriver gui_counts_win >/dev/null ||
  { echo "soak: the win32 build failed" >&2; exit 1; }

# shellcheck source=scripts/wine-env.sh
. "$ROOT/scripts/wine-env.sh"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
counts="$QV_WIN_BUILD/tests/gui_counts.exe"

web=8377
work=$(mktemp -d)
program_pid=""
finish() {
  road_stop_all
  qv_wine_stop
  if [ -n "$keep" ]; then mkdir -p "$keep" && cp -r "$work"/. "$keep"/; fi
  rm -rf "$work"
}
trap finish EXIT
qv_wine_start || exit 1

# The store and the securities the server quotes: a random walk around 10
# to 15 yuan that none of the monitors' prices is ever reached by.
"$ROOT/build/native/tests/make_soak_store" "$answer" "$work/policy.tmp" "$work/codes.txt" 1000 500 || exit 1
codes=$(cat "$work/codes.txt")

# The application folder as road_start lays it out, without a trading program.
qv_trading_time "$road_trading_time"
cp -r "$road_app" "$work/app"
cp "$road_account" "$work/app/"
cp "$road_engine" "$work/app/"
printf '[sources]\r\norder=comma\r\ncomma=http://%s:%s/list=\r\ninterval_ms=%s\r\nidle_interval_ms=%s\r\n' \
  "$host" "$web" "$poll_ms" "$poll_ms" >"$work/app/drasken.ini"
cp "$work/policy.tmp" "$work/app/data/policy.tmp"
printf '%s\r\n' "$host" >"$work/app/servers.cfg"
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$web" | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
road_write_options "$work/app/option.opt" "$host"

# The server stops by itself should this script be killed.
run_seconds=$(((warmup + minutes) * 60 + 600))
printf 'time,code,market,name,prev_close,open,high,low,price\n' >"$work/tape.csv"
timeout "$run_seconds" "$road_server" --host "$host" --web-port "$web" --quote-port 7709 --user demo:demo123 \
  --tape "$work/tape.csv" --synthetic "$codes:$poll_ms" >"$work/server.out" 2>&1 &
road_pids+=($!)
road_wait_for 10 grep -q "ready on $host" "$work/server.out" || { cat "$work/server.out"; exit 1; }

(cd "$work/app" && exec "$QV_WINE" quorvel.exe </dev/null >"$work/program.out" 2>&1) &
program_pid=$!
road_pids+=("$program_pid")
road_drive answer --title "使用提示！" --class QvWindow --button "确定" --timeout-ms 60000 >/dev/null || true
road_main=$(road_drive wait-window --title "Tarvolen系列-Merrowick" --timeout-ms 60000 |
  awk -F'\t' '$1 == "window" { print $2; exit }')
[ -n "$road_main" ] || { echo "soak: no main window"; exit 1; }
road_wait_for 60 road_pane_reads 1 "ID：demo\$" || { echo "soak: the program did not log in"; exit 1; }
# No trading program: the association says so once, as a user sees it.
road_drive answer --title "Tarvolen-Merrowick" --exact --button "确定" --timeout-ms 30000 >/dev/null || true
# The profile dialog offered then is closed, as a user who only watches would.
road_drive wait-window --title "下载配置" --timeout-ms 15000 >/dev/null &&
  [ "$leave_dialog" = 0 ] && road_drive click --title "下载配置" --text "关闭[&C]" >/dev/null || true
road_drive toolbar-click --window "$road_main" --text "启动所有监控" >/dev/null || true
road_wait_for 30 road_store_running "$work/app/data/policy.tmp" 1000 ||
  { echo "soak: the monitors did not start"; exit 1; }
windows_pid=$(road_drive windows --title "Tarvolen系列-Merrowick" | awk -F'\t' '$1 == "window" { print $3; exit }')
echo "soak: 1000 monitors running on 500 securities, polled every $poll_ms ms; warm-up $warmup min, then $minutes min"
echo "soak: machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) (shared with other work: CPU figures vary with it)"

# utime + stime of the process in seconds, and its memory in kB.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / hz }' "/proc/$1/stat"; }
memory_kb() { awk -v k="$2" '$1 == k ":" { print $2 }' "/proc/$1/status"; }
[ -r "/proc/$program_pid/stat" ] && grep -qa quorvel "/proc/$program_pid/cmdline" ||
  { echo "soak: the program's process is not $program_pid"; exit 1; }

sample() { # <minute>: one line of the table
  local cpu now
  now=$(cpu_seconds "$program_pid")
  cpu=$(awk -v a="$now" -v b="$last_cpu" 'BEGIN { printf "%.2f", a - b }')
  last_cpu=$now
  local held
  held=$("$QV_WINE" "$counts" "$windows_pid" </dev/null 2>/dev/null | tr -d '\r')
  printf '%6s %9s %9s %9s %8s %6s %6s %6s %8s %5s\n' "$1" "$(memory_kb "$program_pid" VmRSS)" \
    "$(memory_kb "$program_pid" RssAnon)" "$(memory_kb "$program_pid" VmData)" "$cpu" \
    $(awk '{ print $2, $4, $6, $8 }' <<<"${held:-gdi - user - handles - windows -}") "$(cut -d' ' -f1 /proc/loadavg)" |
    tee -a "$work/samples.txt"
}
alive() { kill -0 "$program_pid" 2>/dev/null; }

sleep $((warmup * 60))
alive || { echo "soak: the program ended during the warm-up"; exit 1; }
printf '%6s %9s %9s %9s %8s %6s %6s %6s %8s %5s\n' minute VmRSS/kB RssAnon VmData CPU-s gdi user handle windows load
last_cpu=$(cpu_seconds "$program_pid")
sample 0
for m in $(seq 1 "$minutes"); do
  sleep 60
  alive || { echo "soak: the program ended at minute $m"; exit 1; }
  sample "$m"
done

# First and last three minutes' CPU, memory after the warm-up and at the end.
python3 - "$work/samples.txt" <<'EOF'
import sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
first, last = rows[0], rows[-1]
# Memory as the middle of three samples: a worker's stack, there for a
# minute and gone, is no growth.
def middle(rows, i):
    return sorted(int(r[i]) for r in rows)[len(rows) // 2]
cpu = [float(r[4]) for r in rows[1:]]
start, end = sum(cpu[:3]) / 3, sum(cpu[-3:]) / 3
fail = []
print()
print(f"{'':24}{'after warm-up':>16}{'at the end':>16}{'growth':>12}")
for i, name in ((1, "VmRSS kB"), (2, "RssAnon kB"), (3, "VmData kB")):
    a, b = middle(rows[:3], i), middle(rows[-3:], i)
    print(f"{name:24}{a:>16}{b:>16}{b - a:>+12}")
    if i > 1 and b - a > 1024:
        fail.append(f"{name} grew by {b - a} kB")
for i, name in ((7, "handles"), (8, "windows")):
    if first[i] != "-":
        print(f"{name:24}{first[i]:>16}{last[i]:>16}{int(last[i]) - int(first[i]):>+12}")
        if int(last[i]) > int(first[i]):
            fail.append(f"{name} grew")
print(f"{'CPU s/min (3-min mean)':24}{start:>16.2f}{end:>16.2f}{end - start:>+12.2f}")
# Noise of a shared machine: a rise counts when the end is a quarter and
# 0.1 s above the start.
if end > start * 1.25 + 0.1:
    fail.append("CPU per minute rose")
print("soak: " + ("FAILED: " + "; ".join(fail) if fail else "flat"))
sys.exit(1 if fail else 0)
EOF
