#!/usr/bin/env bash
# The user guide from the help menu: the program, started from a copy of
# the application folder, opens its shipped guide help\guide.html with the
# PC's program for .html pages when the user chooses "帮助[&H]". In a Wine
# prefix of this test's own, a stand-in browser (tests/tools/guide_browser_win.cpp)
# is that program: it records what it was asked to open and shows a window
# captioned with the page's title. The page itself must hold every section
# of docs/用户指南.md and every picture it links.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}" "${QV_WIN_BUILD:?}" "${QV_WINESERVER:?}" "${DISPLAY:?}"
app="$QV_WIN_BUILD/app"
driver="$QV_WIN_BUILD/tests/qv-uidriver.exe"
browser="$QV_WIN_BUILD/tests/guide_browser.exe"
guide="$ROOT/docs/用户指南.md"
for f in "$app/quorvel.exe" "$driver" "$browser" "$guide"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done

work=$(mktemp -d)
pid=""
# A prefix of this test's own: the file association must not reach the shared one.
export WINEPREFIX="$ROOT/build/wineprefix-help"
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  # Ends the Wine processes of this prefix only (all started here).
  "$QV_WINESERVER" -k 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work" "$WINEPREFIX"
}
trap cleanup EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok ($SECONDS s): $1"; else echo "FAILED ($SECONDS s): $1"; fail=1; fi
}
drive() { "$QV_WINE" "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'; }
wait_for() { # <seconds> <command...>
  local end=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# ---- the prefix, with the stand-in browser as the program for .html pages --------
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"
rm -rf "$WINEPREFIX"
if [ -d "$ROOT/build/wineprefix/drive_c" ]; then
  cp -a "$ROOT/build/wineprefix" "$WINEPREFIX"
else
  "$QV_WINE" wineboot --init >/dev/null 2>&1 || true
fi
mkdir -p "$work/browser"
cp "$browser" "$work/browser/"
browser_win="Z:$(tr / '\\' <<<"$work/browser/guide_browser.exe")"
for root in HKCU HKLM; do
  "$QV_WINE" reg add "$root\\Software\\Classes\\.html" /ve /d QvGuidePage /f </dev/null >/dev/null 2>&1
  "$QV_WINE" reg add "$root\\Software\\Classes\\QvGuidePage\\shell\\open\\command" /ve \
    /d "\"$browser_win\" \"%1\"" /f </dev/null >/dev/null 2>&1
done

# ---- the program, as the user starts it ------------------------------------------
cp -r "$app" "$work/app"
# No vendor site to ask (a closed loopback port) and no start-up notice.
printf '[网站]\r\n网站地址=http://127.0.0.1:9\r\n' | iconv -f UTF-8 -t GBK >"$work/app/vendor.ini"
iconv -f GBK -t UTF-8 "$work/app/setup.ini" | sed 's/^关闭启动提示=.*$/关闭启动提示=1\r/' |
  iconv -f UTF-8 -t GBK >"$work/setup.ini"
mv "$work/setup.ini" "$work/app/setup.ini"
(cd "$work/app" && exec "$QV_WINE" quorvel.exe </dev/null >"$work/program.out" 2>&1) &
pid=$!
# Help needs no login.
drive click --title "用户登录" --exact --text "取消" --timeout-ms 30000 >/dev/null || true
main=$(drive wait-window --title "Tarvolen系列-Merrowick" --timeout-ms 30000 |
  awk -F'\t' '$1 == "window" { print $2; exit }' || true)
check "the main window is up" test -n "$main"

title=$(sed -n 's/^# //p' "$guide" | head -n 1)
drive command --window "$main" --id 40025 >/dev/null # "帮助[&H]"
shown=$(drive wait-window --title "$title" --exact --class QvGuideBrowser --timeout-ms 20000 |
  awk -F'\t' '$1 == "window" { print $2; exit }' || true)
check "the help menu showed the page titled \"$title\"" test -n "$shown"
expected="Z:$(tr / '\\' <<<"$work/app/help/guide.html")"
asked=$(tr -d '\r' <"$work/browser/guide_browser.log" 2>/dev/null | head -n 1 || true)
check "the browser was asked to open the shipped guide ($asked)" test "${asked,,}" = "${expected,,}"

page="$work/app/help/guide.html"
check "the guide is in the application folder" test -s "$page"
headings_found() {
  local h missing=0
  while IFS= read -r h; do
    grep -qF ">$h</h2>" "$page" || { echo "   no section \"$h\""; missing=1; }
  done < <(sed -n 's/^## //p' "$guide")
  [ "$missing" -eq 0 ] && [ "$(grep -c '^## ' "$guide")" -ge 10 ]
}
check "the page holds every section of the guide" headings_found
pictures_found() {
  local src n=0 missing=0
  while IFS= read -r src; do
    n=$((n + 1))
    [ -s "$work/app/help/$src" ] || { echo "   no picture $src"; missing=1; }
  done < <(grep -oP '<img src="\K[^"]+' "$page")
  echo "   $n pictures linked"
  [ "$missing" -eq 0 ] && [ "$n" -gt 0 ]
}
check "every picture the page links is beside it" pictures_found

# ---- the end: the browser's window, then the program through its question ----------
[ -z "$shown" ] || drive close --window "$shown" >/dev/null || true
[ -z "$main" ] || drive close --window "$main" >/dev/null || true
drive answer --title "提示" --button "是" --timeout-ms 10000 >/dev/null || true
ended() { ! kill -0 "$pid" 2>/dev/null; }
check "the program ended" wait_for 20 ended
exit "$fail"
