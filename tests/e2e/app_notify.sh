#!/usr/bin/env bash
# Push notifications on the road of one quote (scripts/road.sh). notify.ini,
# written by hand as an administrator's script would (a plain secret),
# enables the DingTalk robot (signed) and a plain webhook on the stand-in
# server's robot pages; the secret is encrypted at start. The outbox of a
# previous run holds one message for the webhook (sent once at start) and
# one older than a day (logged as not sent). The pages are down, and slow
# to say so, while the
# first part of the tape fires its monitors: the orders go out as fast as
# they do later without any channel, and once the pages are back every fire
# reaches each channel exactly once with the right text. Then the user opens
# "消息推送", enables WeCom with its address, presses "发送测试消息" and reads
# the robot's answer in the status line (also a wrong secret's error, and a
# robot that takes the request and never answers: given up at the request's
# deadline), switches every channel off and saves. No robot's credential is
# ever in the daily log. The
# rest of the tape then runs without channels, the baseline of the timing.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
road_begin

host=127.0.72.1
web=18174
secret="e2e-hook-secret"
dir="$work/notify"

road_example "$work" "$work/tape-e2e.csv"
rows=${#road_rows[@]}
half=$((rows / 2))
echo "replay: $road_fires fires on $rows rows; hooks down for rows [0, $half)"

road_server_args=(--hook-secret "$secret")
road_prepare_app() {
  printf '[dingtalk]\r\nenabled=1\r\nurl=http://%s:%s/hook/dingtalk?access_token=e2e\r\nsecret=%s\r\n[webhook]\r\nenabled=1\r\nurl=http://%s:%s/hook/plain\r\n' \
    "$host" "$web" "$secret" "$host" "$web" >"$1/notify.ini"
  # On the program's clock (this shell's is faked alike).
  local kept='"message":{"event":"fire","time":41047.4,"monitorId":99,"kind":"按价位监控","name":"上次留下","side":"买入","price":1.5,"quantity":100,"outcome":"自动下单"'
  printf '{"messages":[{"channel":"webhook","queued":%s,%s,"code":"000099"}},{"channel":"webhook","queued":1000,%s,"code":"000098"}}]}\n' \
    "$(date +%s%3N)" "$kept" "$kept" >"$1/notify-outbox.json"
}

# timed_play <first> <end> <file>: the rows, each fire's time in <file>.
timed_play() {
  : >"$3"
  road_fire_ms=$3 road_play "$dir" "$host" "$web" "$1" "$2"
}
# Not counting the message kept by the last run (monitor 99).
ok_hooks() { grep '"event":"hook"' "$dir/record.jsonl" 2>/dev/null | grep -v '"monitor_id":99' | grep -c '"ok":true' || true; }
hooks_at_least() { [ "$(ok_hooks)" -ge "$1" ]; }

road_step "starting quorvel.exe"
road_check "logged in by itself and associated the trading program" \
  road_start "$dir" simtrader_keystroke.ini "$host" "$web" "$work/policy.tmp" "$work/tape-e2e.csv"
[ -n "${road_main:-}" ] || exit 1
road_check "all monitors running" road_start_monitors "$dir" 8
ini() { iconv -f GBK -t UTF-8 "$dir/app/notify.ini" | tr -d '\r'; }
road_check "the hand-written secret was encrypted at start" \
  bash -c "$(declare -f ini); dir='$dir'; ini | grep -q '^secret=dpapi:' && ! ini | grep -q '$secret'"
kept_hooks() { grep '"event":"hook"' "$dir/record.jsonl" 2>/dev/null | grep -c '"monitor_id":99' || true; }
kept_sent() { [ "$(kept_hooks)" -ge 1 ]; }
road_check "the message the last run kept was sent at start" road_wait_for 20 kept_sent
daylog() { iconv -f GBK -t UTF-8 "$dir"/app/log/20*.log 2>/dev/null; }
road_check "the one older than a day was logged as not sent, never sent" \
  bash -c "$(declare -f daylog); dir='$dir'; daylog | grep -q '未发送（上次关闭时留下，已超过一天）：【触发】按价位监控 上次留下(000098)' && ! grep -q '\"code\":\"000098\"' '$dir/record.jsonl'"

road_step "robot pages down (2.5 s to answer each request)"
curl -sf -d '{"stallMs":2500}' "http://$host:$web/admin/hooks/down" >/dev/null
road_check "the first part of the tape played with the pages down" timed_play 0 "$half" "$work/down.ms"
fired_down=$road_logged
road_check "nothing reached a phone while the pages were down" test "$(ok_hooks)" -eq 0
road_step "robot pages up"
curl -sf -d '' "http://$host:$web/admin/hooks/up" >/dev/null
# Each automatic order among those fires also tells its outcome (after the
# watch of the broker's boxes), on both channels.
orders_down=$(grep ' fire #' "$work/replay.txt" | head -n "$fired_down" | grep -c 'automatic)' || true)
road_check "the queued messages arrived once the pages were back" \
  road_wait_for 120 hooks_at_least $((2 * (fired_down + orders_down)))

# Every fire so far, once per channel, with the text the replay's trade
# log line gives (kind, name, code, side, quantity, order price).
road_check "each of the $fired_down fires reached DingTalk and the webhook exactly once with the right text" \
  python3 - "$work/replay-trade.log" "$dir/record.jsonl" "$fired_down" <<'PY'
import json, sys
lines = [l.rstrip("\r\n") for l in open(sys.argv[1], encoding="gbk") if l.strip()][: int(sys.argv[3])]
want = []
for l in lines:
    f = l.split(", ")
    code, name, side, kind, price, qty = f[3], f[4], f[5], f[6], f[8], f[9]
    want.append(f"【触发】{kind} {name}({code})\n{side} {qty}股 价格{price}\n")
hooks = [json.loads(l) for l in open(sys.argv[2], encoding="utf-8") if '"event":"hook"' in l]
# The message the last run kept went once.
kept = [h for h in hooks if isinstance(h["body"], dict) and h["body"].get("monitor_id") == 99]
if len(kept) != 1 or not kept[0]["ok"]:
    print(f"   the kept message went {len(kept)} times"); ok = False
hooks = [h for h in hooks if h not in kept]
ok = True
for channel in ("dingtalk", "plain"):
    texts = sorted(h["text"] for h in hooks if h["channel"] == channel and h["ok"] and h["text"].startswith("【触发】"))
    for w in want:
        n = sum(t.startswith(w) and t.split("\n")[2] in ("自动下单", "仅提示，不下单") for t in texts)
        if n != want.count(w):
            print(f"   {channel}: {n} of {want.count(w)} for {w!r}"); ok = False
    if len(texts) != len(want):
        print(f"   {channel}: {len(texts)} messages for {len(want)} fires"); ok = False
plain = [h["body"] for h in hooks if h["channel"] == "plain" and h["ok"]]
fires = [b for b in plain if b["event"] == "fire"]
if not all(b["code"] and b["quantity"] > 0 and b["side"] in ("买入", "卖出") for b in fires):
    print("   the webhook's fire fields are incomplete"); ok = False
# The orders' outcomes follow their fires: each accepted, with its contract
# number, told once, for a security that fired.
outcomes = [b for b in plain if b["event"] == "outcome"]
keys = [(b["monitor_id"], b["order_no"]) for b in outcomes]
if not outcomes or len(set(keys)) != len(keys) or not all(
        b["outcome"] == "已提交" and b["order_no"] and b["code"] in {f["code"] for f in fires} for b in outcomes):
    print(f"   the webhook's outcomes are wrong: {outcomes}"); ok = False
sys.exit(0 if ok else 1)
PY
road_check "the pages refused some tries meanwhile (the worker retried)" \
  grep -q '"event":"hook".*"status":503' "$dir/record.jsonl"

road_step "the dialog 消息推送"
road_drive command --window "$road_main" --id 40100 >/dev/null || true
dlg=(--title "消息推送" --exact --class QvWindow)
road_drive wait-window "${dlg[@]}" --timeout-ms 15000 >/dev/null || true
road_drive children "${dlg[@]}" >"$work/dialog.txt" || true
# child HANDLE PARENT ID CLASS TEXT VISIBLE ENABLED RECT
control() { awk -F'\t' -v id="$1" '$1 == "child" && $4 == id { print $6 }' "$work/dialog.txt"; }
road_check "the dialog shows the hand-written DingTalk address" \
  test "$(control 112)" = "http://$host:$web/hook/dingtalk?access_token=e2e"
road_drive click "${dlg[@]}" --id 101 >/dev/null || true
road_drive set-text "${dlg[@]}" --id 111 "http://$host:$web/hook/wecom?key=e2e" >/dev/null || true
road_drive click "${dlg[@]}" --id 131 >/dev/null || true
status_reads() { road_drive children "${dlg[@]}" | awk -F'\t' '$4 == 151 { print $6 }' | grep -qF "$1"; }
road_check "发送测试消息: the robot's answer in the status line" \
  road_wait_for 20 status_reads '企业微信测试消息已送达：HTTP 200 {"errcode":0,"errmsg":"ok"}'
road_shot "app_notify-dialog.png"
road_check "the test message reached the WeCom page" \
  grep -q '"channel":"wecom".*"ok":true.*"text":"【测试】quorvel 消息推送测试' "$dir/record.jsonl"
road_drive set-text "${dlg[@]}" --id 122 "wrong-secret" >/dev/null || true
road_drive click "${dlg[@]}" --id 132 >/dev/null || true
road_check "a wrong secret: DingTalk's own error in the status line" \
  road_wait_for 20 status_reads '钉钉测试消息未送达：HTTP 200 {"errcode":310000,"errmsg":"sign not match'
road_shot "app_notify-dialog-badsign.png"
curl -sf -d '{"channel":"wecom","mode":"hang","ms":60000}' "http://$host:$web/admin/hooks/mode" >/dev/null
road_drive click "${dlg[@]}" --id 131 >/dev/null || true
road_check "a robot that never answers: given up at the request's deadline" \
  road_wait_for 40 status_reads '企业微信测试消息未送达：'
road_drive children "${dlg[@]}" | awk -F'\t' '$4 == 151 { print "   status: " $6 }'
curl -sf -d '{"channel":"wecom","mode":"normal"}' "http://$host:$web/admin/hooks/mode" >/dev/null
road_drive set-text "${dlg[@]}" --id 122 "$secret" >/dev/null || true
for id in 101 102 104; do road_drive click "${dlg[@]}" --id "$id" >/dev/null || true; done
road_drive click "${dlg[@]}" --id 141 >/dev/null || true
road_check "saved" road_wait_for 10 status_reads "设置已保存"
road_check "the secret is stored encrypted, never in plain" \
  bash -c "$(declare -f ini); dir='$dir'; ini | grep -q '^secret=dpapi:' && ! ini | grep -q '$secret'"
road_check "every channel off, WeCom's address kept" \
  bash -c "$(declare -f ini); dir='$dir'; ! ini | grep -q '^enabled=1' && ini | grep -q '^url=http://$host:$web/hook/wecom?key=e2e'"
road_drive close "${dlg[@]}" >/dev/null || true
hooks_before=$(ok_hooks)

road_step "the rest of the tape without channels"
road_check "the rest of the tape played" timed_play "$half" "$rows" "$work/off.ms"
road_check "no message once every channel is off" test "$(ok_hooks)" -eq "$hooks_before"
avg() { awk '{ s += $1; n++ } END { if (n) printf "%d", s / n; else print 0 }' "$1"; }
down_avg=$(avg "$work/down.ms")
off_avg=$(avg "$work/off.ms")
echo "quote row to trade log line per fire: ${down_avg} ms with two channels whose pages stall 2500 ms ($(wc -l <"$work/down.ms") fires), ${off_avg} ms without channels ($(wc -l <"$work/off.ms") fires)"
# Waiting for one stalled page would add 2500 ms to every fire.
road_check "no order waited for the robot pages" test "$down_avg" -lt $((off_avg + 1500))
tr -d '\r' <"$dir/orders.txt" >"$dir/orders-unix.txt"
road_check "the trading program accepted exactly the automatic orders of the replay" \
  cmp "$work/expected-orders.txt" "$dir/orders-unix.txt"
delivered=$(grep '"event":"hook"' "$dir/record.jsonl" | grep '"channel":"dingtalk"' | grep -c '"ok":true' || true)
road_check "no robot's credential in the daily log, the addresses shown without it" \
  bash -c "$(declare -f daylog); dir='$dir'; ! daylog | grep -qE 'access_token=|key=e2e|sign=' && ! daylog | grep -q 'dingtalk?access'"
road_check "each delivery went to the daily log" \
  bash -c "iconv -f GBK -t UTF-8 '$dir'/app/log/20*.log | grep -c '消息推送\[钉钉\]已送达' | grep -qx '$delivered'"

road_step "closing"
start=$(date +%s%3N)
road_close_program
road_wait_for 15 bash -c "! kill -0 $road_program_pid 2>/dev/null" || true
echo "the program closed $(($(date +%s%3N) - start)) ms after the question"
# Only a sample: head may close the pipe before grep is done writing.
grep '"event":"hook"' "$dir/record.jsonl" | grep '"ok":true' | head -n 4 | cut -c1-400 || true
road_stop_all
exit "$road_fail"
