# Sourced by the test and demo scripts: a private Xvfb display and a private
# Wine prefix inside the build folder, with one Wine server kept running for
# the whole script. qv_wine_stop ends exactly what qv_wine_start started.
#
# Needs ROOT (the source folder) to be set.
#
# What runs is what ships: the i686 build (QV_WIN_BUILD) under Debian's
# 32-bit Wine loader (QV_WINE, from wine32:i386) in a WoW64 prefix.

export ROOT
export QV_WINE=/usr/lib/wine/wine
export QV_WIN_BUILD="$ROOT/build/win32"
export QV_WINESERVER=/usr/lib/wine/wineserver
export WINEPREFIX="${QV_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
# No Mono or Gecko installers: the prefix is created offline.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The Chinese system code page, as on the users' machines.
export LC_ALL=zh_CN.UTF-8

QV_XVFB_PID=""
QV_WINESERVER_PID=""

qv_wine_start() {
  # Xvfb picks a free display itself, so parallel runs never collide.
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  QV_XVFB_PID=$!
  local n
  read -r -t 20 n <"$fifo" || true
  rm -f "$fifo"
  if [ -z "$n" ]; then
    echo "wine-env: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$n"
  if [ ! -d "$WINEPREFIX" ]; then
    echo "wine: creating the prefix $WINEPREFIX (once)"
    "$QV_WINE" wineboot --init >/dev/null 2>&1 || true
    "$QV_WINESERVER" -w
  fi
  # The symbols of the caption buttons that Wine draws (Debian's fonts-wine).
  local marlett=/usr/share/wine/fonts/marlett.ttf fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -f "$marlett" ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts" && cp "$marlett" "$fonts/"
  fi
  # One persistent server for every Wine program of this run.
  "$QV_WINESERVER" -f -p >/dev/null 2>&1 &
  QV_WINESERVER_PID=$!
  sleep 0.2
  # A program that crashes ends with Wine's backtrace on its output instead
  # of a crash dialog that waits for a click nobody gives.
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$QV_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1 || true
  fi
  # Windows that no window manager handles: there is none on this display,
  # and Wine would otherwise wait for one whenever a window is hidden (about
  # two seconds each time). The first Wine program starts the prefix's system
  # services, which keep the file handles they inherit: give them none of the
  # caller's.
  if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$QV_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true
  fi
  "$QV_WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

qv_wine_stop() {
  if [ -n "$QV_WINESERVER_PID" ]; then
    # Ends every Wine process of this private prefix (all started by this
    # script), then the server itself.
    "$QV_WINESERVER" -k >/dev/null 2>&1 || true
    kill "$QV_WINESERVER_PID" 2>/dev/null || true
    wait "$QV_WINESERVER_PID" 2>/dev/null || true
    QV_WINESERVER_PID=""
  fi
  if [ -n "$QV_XVFB_PID" ]; then
    kill "$QV_XVFB_PID" 2>/dev/null || true
    wait "$QV_XVFB_PID" 2>/dev/null || true
    QV_XVFB_PID=""
  fi
}

# qv_trading_time "YYYY-MM-DD HH:MM:SS": from here on every program this
# script starts (the native stand-ins, the Wine programs; not the Wine server
# already running) lives at that Beijing time, its clock running on from
# there, all on one shared timeline: the program fires only on reports of a
# weekday's trading hours, so a scenario that needs fires must not depend on
# the hour CI runs it. Our clock shim (tests/tools/fake_clock.c, built by
# the native preset for 64- and 32-bit programs; $LIB picks the one of each
# process) moves the wall clock by a fixed offset: libfaketime cannot move
# the clock of 32-bit Wine. TZ=CST-8 puts the PCs' local clocks on Beijing
# time (Wine's C runtime reads that form, not Asia/Shanghai).
qv_trading_time() {
  local offset
  # Against the real clock, also when an earlier call faked this shell's.
  offset=$(($(env -u LD_PRELOAD -u FAKETIME TZ=CST-8 date -d "$1" +%s) - $(env -u LD_PRELOAD -u FAKETIME date +%s)))
  [ "$offset" -lt 0 ] || offset="+$offset"
  export TZ=CST-8 FAKETIME="$offset"
  export LD_PRELOAD="$ROOT/build/native/faketime/\$LIB/libqvfaketime.so.1"
}
# The real clock again for the programs started after it.
qv_real_time() { unset TZ FAKETIME LD_PRELOAD; }
# For the scenario scripts run as child shells (scripts/road.sh).
export -f qv_trading_time qv_real_time

# qv_wine <program.exe> [args...]
qv_wine() { "$QV_WINE" "$@"; }
