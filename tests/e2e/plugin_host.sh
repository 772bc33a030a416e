#!/usr/bin/env bash
# The stand-in trade client loads the real Pellumin.dll under Wine from a
# fresh folder and plays its scripted session (every check prints a line);
# then the trace files it left below that folder are checked from outside.
set -uo pipefail

plugin="$QV_WIN_BUILD/plugin"
for f in plugin_host.exe Pellumin.dll; do
  [ -f "$plugin/$f" ] || { echo "missing $plugin/$f"; exit 1; }
done

work=$(mktemp -d "$ROOT/build/e2e-plugin-host.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$plugin/plugin_host.exe" "$plugin/Pellumin.dll" "$work/"

cd "$work"
"$QV_WINE" plugin_host.exe </dev/null | tr -d '\r' >output.txt
status=${PIPESTATUS[0]}
cat output.txt
failed=0
[ "$status" -eq 0 ] || { echo "plugin_host.exe exited with $status"; failed=1; }
grep -q '^[0-9]* passed, 0 failed$' output.txt || { echo "the session reported failures"; failed=1; }

# The day's trace files, named by the local date, in T0002/wt_cache.
today=$(date +%Y%m%d)
for name in PushTrace PushErrorInfo; do
  file="T0002/wt_cache/$name$today.log"
  if [ ! -s "$file" ]; then
    echo "missing $file"; ls -R T0002 2>/dev/null; failed=1; continue
  fi
  # Every line: yyyy-mm-dd/hh:mm:ss.zzz[XXXXXXXX]--message CR LF, in GBK.
  if LC_ALL=C grep -avqE $'^[0-9]{4}-[0-9]{2}-[0-9]{2}/[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\\[[0-9A-F]{8}\\]--.*\r$' "$file"; then
    echo "badly formed line in $file:"; LC_ALL=C grep -avE $'\\]--.*\r$' "$file" | head -3; failed=1
  fi
  if ! iconv -f GBK -t UTF-8 "$file" >/dev/null 2>&1; then echo "$file is not GBK"; failed=1; fi
done
# Not a pipe into grep -q: grep may stop before iconv has written all, and
# pipefail would count iconv's broken pipe as a miss.
grep -q '接受注册通知 khh= K001, state = 1' < <(iconv -f GBK -t UTF-8 "T0002/wt_cache/PushTrace$today.log") ||
  { echo "registration notice line missing"; failed=1; }
exit $failed
