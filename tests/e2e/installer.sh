#!/usr/bin/env bash
# The installer and the program's own upgrade, in a Wine prefix of their
# own: a package of the shipped i686 build is installed per user (its
# quorvel.exe is the twin that trusts the test key too, so the package has
# a name of its own and the shipped name is refused), the
# installed quorvel.exe runs from there and refuses a tampered download of
# a newer version, the next version installed over it keeps the user's
# store, profiles, settings and options byte for byte while replacing the
# program files, the program refuses manifests with a good digest but a
# broken signature or one of a key it does not know (and runs on with the
# user's data untouched), then upgrades itself from the stand-in vendor
# site with a manifest signed by the test key (download, check, msiexec
# after it closed, the package removed at the next start), and
# uninstalling keeps the user's data.
set -euo pipefail

: "${ROOT:?}" "${QV_WINE:?}" "${QV_WIN_BUILD:?}" "${QV_WINESERVER:?}" "${DISPLAY:?}"
app="$QV_WIN_BUILD/app"
# The shipped program trusts the release key alone; the manifests here are
# signed with the test key, which only this twin of it trusts as well.
test_key_program="$QV_WIN_BUILD/tests/test-keys/quorvel.exe"
driver="$QV_WIN_BUILD/tests/qv-uidriver.exe"
server="$ROOT/build/native/sim/server/quorvel-sim-server"
sign="$ROOT/scripts/sign-manifest"
test_key="$ROOT/tests/keys/update-test-key.pem"
make_example="$ROOT/build/native/tests/make_replay_example"
logs="$ROOT/build/test-logs"
for f in "$app/quorvel.exe" "$test_key_program" "$app/uninstall.exe" "$driver" "$server" "$make_example"; do
  [ -e "$f" ] || { echo "missing $f"; exit 1; }
done
mkdir -p "$logs"

host=127.0.77.1
port=8077
work=$(mktemp -d)
server_pid="" pid=""
# A prefix of this test's own: the installation must not reach the shared one.
export WINEPREFIX="$ROOT/build/wineprefix-installer"
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  # Ends the Wine processes of this prefix only (all started here).
  "$QV_WINESERVER" -k 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work" "$WINEPREFIX"
}
trap cleanup EXIT

fail=0
check() { # <description> <command...>
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
drive() { "$QV_WINE" "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'; }
same() { cmp -s "$1" "$2"; }
phase() { echo "--- ${SECONDS}s: $*"; }

# ---- two packages: the build as it is, and a next version of it -------------------
phase "packages"
version=$(cat "$QV_WIN_BUILD/qv_version.txt")
IFS=. read -r major minor patch <<<"$version"
next="$major.$minor.$((patch + 1))"
later="$major.$minor.$((patch + 2))"
cp -r "$app" "$work/cur"
cp "$test_key_program" "$work/cur/quorvel.exe"
# Stripped here already, so that the installed files compare with these.
i686-w64-mingw32-strip --strip-debug "$work/cur"/*.exe "$work/cur"/*.dll
# The installed program asks the stand-in site and skips the start-up notice.
printf '[网站]\r\n网站地址=http://%s:%s\r\n' "$host" "$port" | iconv -f UTF-8 -t GBK >"$work/cur/vendor.ini"
iconv -f GBK -t UTF-8 "$work/cur/setup.ini" | sed 's/^关闭启动提示=.*$/关闭启动提示=1\r/' | iconv -f UTF-8 -t GBK >"$work/setup.ini"
mv "$work/setup.ini" "$work/cur/setup.ini"
make_next() { # <folder> <version>: other program files, another default config.ini
  cp -r "$work/cur" "$1"
  printf 'build %s' "$2" >>"$1/quorvel.exe"  # bytes after the image: still the same program
  printf 'version %s\r\n' "$2" >"$1/res/version.txt"
  printf '; the defaults of %s\r\n' "$2" >>"$1/config.ini"
}
make_next "$work/next" "$next"
make_next "$work/later" "$later"
package() { "$ROOT/scripts/package.sh" win32 --app "$work/$1" --version "$2" --out "$work/$1.msi" >/dev/null; }
# These programs trust the test key: their packages never pass for the
# shipped one, whose name the script refuses to give them.
shipped_name="$work/Tarvolen-Merrowick-$version.msi"
refused() { ! "$ROOT/scripts/package.sh" win32 --app "$work/cur" --version "$version" --out "$shipped_name" \
  >/dev/null 2>"$work/refused.txt" && grep -q "test update key" "$work/refused.txt" && test ! -e "$shipped_name"; }
check "a package of a program that trusts the test key is not made under the shipped name" refused
"$ROOT/scripts/package.sh" win32 --app "$work/cur" --version "$version" >"$work/made.txt" &
package next "$next" &
package later "$later"
wait
made=$(tail -n 1 "$work/made.txt")
check "it gets a name of its own" test "$(basename "$made")" = "Tarvolen-Merrowick-$version-test-key.msi"
[ -f "$made" ] && mv "$made" "$work/cur.msi"
check "three packages" test -s "$work/cur.msi" -a -s "$work/next.msi" -a -s "$work/later.msi"

# ---- a fresh prefix: a copy of the shared one when there is one (quicker) ------------
phase "prefix"
# No menu entries or desktop files on the Linux side.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"
rm -rf "$WINEPREFIX"
if [ -d "$ROOT/build/wineprefix/drive_c" ]; then
  cp -a "$ROOT/build/wineprefix" "$WINEPREFIX"
  rm -rf "$WINEPREFIX/drive_c/users"/*/AppData/Local/Programs/Tarvolen-Merrowick
else
  "$QV_WINE" wineboot --init >/dev/null 2>&1 || true
fi
# Wine links the desktop and the other shell folders to the Unix home: give
# this prefix folders of its own.
for link in "$WINEPREFIX/drive_c/users"/*/*; do
  if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
done
user_dir=$(ls -d "$WINEPREFIX/drive_c/users"/*/AppData/Local | grep -v /Public/ | head -n 1)
user_dir=${user_dir%/AppData/Local}
inst="$user_dir/AppData/Local/Programs/Tarvolen-Merrowick"
menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Tarvolen-Merrowick"
products() { "$QV_WINE" uninstaller --list 2>/dev/null | tr -d '\r' | grep 'Tarvolen-Merrowick' || true; }
msi() { "$QV_WINE" msiexec "$@" </dev/null >/dev/null 2>&1; }
windows_path() { "$QV_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# ---- install ------------------------------------------------------------------------
phase "install"
msi /i "$(windows_path "$work/cur.msi")" /qn
check "installed per user into the user's own folder" test -f "$inst/quorvel.exe"
check "the program as built" same "$inst/quorvel.exe" "$work/cur/quorvel.exe"
check "the parameters as shipped" same "$inst/setup.ini" "$work/cur/setup.ini"
for f in uninstall.exe vendor.ini config.ini setup.ini drasken.ini res/warning.wav settings/simtrader_keystroke.ini; do
  check "installed: $f" test -f "$inst/$f"
done
check "the user guide as built, with its pictures" \
  diff -r "$work/cur/help" "$inst/help"
check "our quote engine as built" same "$inst/drasken.dll" "$work/cur/drasken.dll"
check "the engine is the shipped one" cmp -s "$QV_WIN_BUILD/src/engine/drasken.dll" "$app/drasken.dll"
check "no stand-in account library" test ! -e "$inst/velmora.dll"
check "the folders the program expects" test -d "$inst/data" -a -d "$inst/log" -a -d "$inst/settings"
check "Start menu: the program and its uninstaller" \
  test -f "$menu/Tarvolen-Merrowick.lnk" -a -f "$menu/卸载 Tarvolen-Merrowick.lnk"
check "a desktop shortcut" test -f "$user_dir/Desktop/Tarvolen-Merrowick.lnk"

# ---- the installed program; a newer version whose download was tampered with --------
phase "tampered download"
mkdir -p "$work/web"
cp "$work/next.msi" "$work/web/next.msi"
"$sign" --key "$test_key" --package "$work/next.msi" --version "$next" --installer /next.msi --notes 更稳定 \
  >"$work/web/version"
# One byte differs on the way.
printf '\x55' | dd of="$work/web/next.msi" bs=1 seek=$(( $(stat -c %s "$work/next.msi") - 4000 )) conv=notrunc status=none
timeout 120 "$server" --host "$host" --web-port "$port" --web-dir "$work/web" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do grep -q "ready on" "$work/server.out" && break; sleep 0.1; done
check "the stand-in vendor site is up" grep -q "ready on $host" "$work/server.out"

caption="Tarvolen系列-Merrowickv$version"
start_installed() {
  (cd "$inst" && exec "$QV_WINE" "$inst/quorvel.exe" </dev/null >>"$work/program.out" 2>&1) &
  pid=$!
}
start_installed
drive dialog --title "软件升级" --class "#32770" --timeout-ms 30000 >"$work/ask.txt" || true
check "the start-up check offers the newer version" grep -q "发现新版本 $next" "$work/ask.txt"
check "with its notes" grep -q "更稳定" "$work/ask.txt"
drive answer --title "软件升级" --class "#32770" --button "是" >/dev/null || true
drive dialog --title "Tarvolen-Merrowick" --class "#32770" --timeout-ms 30000 >"$work/refused.txt" || true
check "the tampered download is refused" grep -q "下载的升级文件与发布的校验值不符，已删除。" "$work/refused.txt"
DISPLAY="$DISPLAY" import -window root "$logs/installer-refused.png" 2>/dev/null || true
drive answer --title "Tarvolen-Merrowick" --class "#32770" --button "确定" >/dev/null || true
runs_on() { drive wait-window --title "$caption" --exact --timeout-ms 20000 >/dev/null; }
check "the program runs on, from its installed folder" runs_on
for _ in $(seq 1 50); do [ -e "$inst/data/policy.tmp" ] && break; sleep 0.1; done
check "it keeps its store there" test -e "$inst/data/policy.tmp"
check "nothing of the download is left" \
  test -z "$(find "$WINEPREFIX/drive_c" -name 'Tarvolen-Merrowick-*.msi*' 2>/dev/null)"
check "the program files are untouched" test ! -e "$inst/res/version.txt"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=""
"$QV_WINESERVER" -k 2>/dev/null || true  # what the killed loader left behind

# ---- the user's files; the next version installed over them -----------------------
phase "next version over the user's files"
mkdir -p "$work/example"
"$make_example" "$work/example" >/dev/null
cp "$work/example/policy.tmp" "$inst/data/policy.tmp"
printf '[交易]\r\n名称=下载的配置\r\n' | iconv -f UTF-8 -t GBK >"$inst/settings/downloaded.ini"
printf '; edited by the user\r\n' >>"$inst/settings/simtrader_keystroke.ini"
printf '; edited by the user\r\n' >>"$inst/config.ini"
printf '[服务器]\r\n地址=127.0.0.1\r\n' | iconv -f UTF-8 -t GBK >"$inst/servers.cfg"
printf '2026-12-09 10:00:00 买入 600000\r\n' >"$inst/log/trade.log"
{ printf '127.0.0.1'; head -c 162 /dev/zero; printf '\001'; } >"$inst/option.opt"  # the 172-byte record, sound on
user_files="data/policy.tmp settings/downloaded.ini settings/simtrader_keystroke.ini config.ini setup.ini option.opt servers.cfg log/trade.log"
mkdir -p "$work/kept"
for f in $user_files; do mkdir -p "$work/kept/$(dirname "$f")"; cp "$inst/$f" "$work/kept/$f"; done

msi /i "$(windows_path "$work/next.msi")" /qn
check "the next version's program files" test "$(cat "$inst/res/version.txt" 2>/dev/null)" = "version $next"$'\r'
check "quorvel.exe replaced" bash -c "tail -c 20 '$inst/quorvel.exe' | grep -q 'build $next'"
for f in $user_files; do
  check "kept byte for byte: $f" same "$work/kept/$f" "$inst/$f"
done
check "still one product: the older one was removed" test "$(products | wc -l)" -eq 1

# ---- manifests the program must not trust -----------------------------------------
# The right package and digest each time; only the signature is wrong. The
# quiet start-up check refuses them (the update log says why) and goes on
# as after "no newer version": no question, the program runs on, nothing of
# the user's or the program's changes.
cp "$work/later.msi" "$work/web/later.msi"
"$sign" --key "$test_key" --package "$work/later.msi" --version "$later" --installer /later.msi >"$work/signed"
logged() { iconv -f GBK -t UTF-8 "$inst/log/update.log" 2>/dev/null | grep -q "$1"; }
offered() { drive dialog --title "软件升级" --class "#32770" --timeout-ms 3000 >/dev/null; }
not() { ! "$@"; }
refused() { # <name> <what the update log says>
  phase "refused: $1"
  start_installed
  for _ in $(seq 1 300); do logged "$2" && break; sleep 0.1; done
  check "$1: refused, and the log says why" logged "$2"
  check "$1: no upgrade is offered" not offered
  check "$1: the program runs on" runs_on
  for f in $user_files; do
    [ "$f" = setup.ini ] || [ "$f" = option.opt ] && continue
    check "$1: untouched: $f" same "$work/kept/$f" "$inst/$f"
  done
  check "$1: the program files are the same" test "$(cat "$inst/res/version.txt" 2>/dev/null)" = "version $next"$'\r'
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
  "$QV_WINESERVER" -k 2>/dev/null || true
  : >"$inst/log/update.log"
}
# The notes changed after signing.
sed 's/^notes=$/notes=请立即升级/' "$work/signed" >"$work/web/version"
refused "a changed manifest" "签名无效"
# Signed as it should be, but with a key of nobody the program trusts.
openssl ecparam -name prime256v1 -genkey -noout 2>/dev/null | openssl pkcs8 -topk8 -nocrypt -out "$work/unknown.pem"
"$sign" --key "$work/unknown.pem" --package "$work/later.msi" --version "$later" --installer /later.msi \
  >"$work/web/version"
refused "an unknown key" "签名无效"

# ---- the program upgrades itself --------------------------------------------------
phase "self-upgrade"
cp "$work/signed" "$work/web/version"
start_installed
drive dialog --title "软件升级" --class "#32770" --timeout-ms 30000 >"$work/ask2.txt" || true
check "the start-up check offers $later" grep -q "发现新版本 $later" "$work/ask2.txt"
drive answer --title "软件升级" --class "#32770" --button "是" >/dev/null || true
drive dialog --title "Tarvolen-Merrowick" --class "#32770" --timeout-ms 30000 >"$work/passed.txt" || true
check "the download passed its check" grep -q "新版本 $later 已下载并通过校验" "$work/passed.txt"
drive answer --title "Tarvolen-Merrowick" --class "#32770" --button "确定" >/dev/null || true
for _ in $(seq 1 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
check "the program closed for the installer" bash -c "! kill -0 $pid 2>/dev/null"
wait "$pid" 2>/dev/null || true
pid=""
# msiexec runs in this prefix alone: once every process of it has ended,
# the installation is over.
timeout 90 "$QV_WINESERVER" -w || true
check "msiexec installed $later over it" test "$(cat "$inst/res/version.txt" 2>/dev/null)" = "version $later"$'\r'
for f in data/policy.tmp settings/downloaded.ini settings/simtrader_keystroke.ini config.ini servers.cfg log/trade.log; do
  check "kept through the self-upgrade: $f" same "$work/kept/$f" "$inst/$f"
done
# The package handed over stays until the next start, which removes it.
handed=$(find "$WINEPREFIX/drive_c" -name "Tarvolen-Merrowick-$later.msi" 2>/dev/null | head -n 1)
check "the package was handed over from the temporary folder" test -n "$handed"
start_installed
drive wait-window --title "$caption" --exact --timeout-ms 30000 >/dev/null || true
for _ in $(seq 1 100); do [ -e "$handed" ] || break; sleep 0.1; done
check "the next start removes the handed-over package" test ! -e "$handed"
drive answer --title "软件升级" --class "#32770" --button "否" >/dev/null 2>&1 || true
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
pid=""
"$QV_WINESERVER" -k 2>/dev/null || true

# ---- uninstall, keeping the data --------------------------------------------------
phase "uninstall"
# As the Start menu's entry does: the uninstaller with the product code,
# answered "keep my data".
code=$(products | head -n 1 | cut -d'|' -f1)
(cd "$inst" && exec "$QV_WINE" "$inst/uninstall.exe" "$code" </dev/null >>"$work/program.out" 2>&1) &
drive dialog --title "Tarvolen-Merrowick" --class "#32770" --timeout-ms 20000 >"$work/uninstall.txt" || true
check "the uninstaller asks whether the data stays" grep -q "是否保留您的数据" "$work/uninstall.txt"
drive answer --title "Tarvolen-Merrowick" --class "#32770" --button "是" >/dev/null || true
timeout 90 "$QV_WINESERVER" -w || true
check "the product is gone" test "$(products | wc -l)" -eq 0
for f in quorvel.exe uninstall.exe vendor.ini res/warning.wav; do
  check "removed: $f" test ! -e "$inst/$f"
done
check "the Start menu entries are gone" test ! -e "$menu"
check "the desktop shortcut is gone" test ! -e "$user_dir/Desktop/Tarvolen-Merrowick.lnk"
for f in $user_files; do
  [ "$f" = setup.ini ] || [ "$f" = option.opt ] && continue
  check "the user's data stays: $f" same "$work/kept/$f" "$inst/$f"
done
check "the options and parameters stay" test -f "$inst/option.opt" -a -f "$inst/setup.ini"

if [ "$fail" -ne 0 ]; then
  echo "--- driver errors"; cat "$work/driver.err" || true
  echo "--- installed"; find "$inst" 2>/dev/null | sed "s#$inst##" || true
  echo "--- server"; cat "$work/server.out" || true
fi
phase "done"
exit "$fail"
