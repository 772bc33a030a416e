#!/usr/bin/env bash
# One running copy per application folder: a second start from the same
# folder (spelt in another letter case, through a substituted drive, by its
# 8.3 short name) ends by itself, leaving the first
# copy's window the only one and its store untouched; a copy in another
# folder runs beside it.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}"
# shellcheck source=scripts/road.sh
. "$ROOT/scripts/road.sh"
logs="$ROOT/build/test-logs"
mkdir -p "$logs"
for f in "$road_app/quorvel.exe" "$road_driver" "$road_make_example"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done

work=$(mktemp -d)
export ROAD_DRIVER_LOG="$work/driver.err"
# A drive letter for the work folder, as "subst Q: folder" gives on Windows
# (Wine 8's subst.exe answers success and maps nothing; its drives are these
# links). Made before the first start: Wine names a file by the drive that
# holds it most closely.
drive_letter=Q
drive_link="${WINEPREFIX:?}/dosdevices/q:"
[ -e "$drive_link" ] && { echo "drive $drive_letter: is taken in $WINEPREFIX"; exit 1; }
ln -s "$work" "$drive_link"
trap 'road_stop_all; rm -f "$drive_link"; rm -rf "$work"' EXIT
fail=0
check() { if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

# Two application folders as users get them, with a store of monitors, the
# start-up notice switched off and a vendor site that nobody answers.
for name in one two; do
  cp -r "$road_app" "$work/$name"
  "$road_make_example" "$work/$name/data"
  printf '[网站]\r\n网站地址=http://127.0.0.1:9\r\n' | iconv -f UTF-8 -t GBK >"$work/$name/vendor.ini"
  printf '[参数配置]\r\n关闭启动提示=1\r\n' | iconv -f UTF-8 -t GBK >"$work/$name/setup.ini"
done
main_windows() { road_drive windows --title "$road_caption" --exact | grep -c '^window' || true; }
windows_are() { [ "$(main_windows)" -eq "$1" ]; }

"$QV_WINE" "$work/one/quorvel.exe" </dev/null >"$work/one.out" 2>&1 &
road_pids+=($!)
first=$(road_drive wait-window --title "$road_caption" --exact --timeout-ms 60000 |
  awk -F'\t' '$1 == "window" { print $2; exit }')
check "the first copy's main window" test -n "$first"
store_before=$(md5sum <"$work/one/data/policy.tmp")

# The same folder again, through another spelling of its path.
upper="Z:$(echo "$work/one" | tr '/' '\\' | tr '[:lower:]' '[:upper:]')\\QUORVEL.EXE"
"$QV_WINE" "$upper" </dev/null >"$work/second.out" 2>&1 &
second=$!
road_pids+=($second)
ended() { ! kill -0 "$second" 2>/dev/null; }
check "the second copy of the same folder ends by itself" road_wait_for 60 ended
check "it left one main window, the first copy's" windows_are 1
first_there() { road_drive windows --title "$road_caption" --exact | grep -qP "^window\t$first\t"; }
check "the first copy's window is still there" first_there
check "the store was not written by the second copy" test "$(md5sum <"$work/one/data/policy.tmp")" = "$store_before"

# The same folder through a substituted drive and through its 8.3 short
# name: the same final path, so the same lock.
second_start_ends() { # <description> <program path as Windows spells it>
  "$QV_WINE" "$2" </dev/null >>"$work/second.out" 2>&1 &
  second=$!
  road_pids+=($second)
  check "the same folder $1 ends by itself" road_wait_for 60 ended
  check "it left one main window, the first copy's" first_there
  check "and the count of main windows at one" windows_are 1
}
second_start_ends "through drive $drive_letter:" "$drive_letter:\\one\\quorvel.exe"
long=$(echo "Z:$work/one" | tr '/' '\\')
short=$("$QV_WINE" winepath -s "$long" </dev/null 2>/dev/null | tr -d '\r')
echo "short name of the folder: $short"
check "the folder has a short name unlike its long one" test -n "$short" -a "$short" != "$long"
second_start_ends "through its short name" "$short\\quorvel.exe"
check "the store was still not written by a second copy" test "$(md5sum <"$work/one/data/policy.tmp")" = "$store_before"

# Another folder is another installation: it runs beside the first.
"$QV_WINE" "$work/two/quorvel.exe" </dev/null >"$work/two.out" 2>&1 &
road_pids+=($!)
check "a copy in another folder runs beside it" road_wait_for 60 windows_are 2
DISPLAY="$DISPLAY" import -window root "$logs/single-copy.png" 2>/dev/null || true

if [ "$fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- windows"; road_drive windows --title "$road_caption" || true
fi
exit "$fail"
