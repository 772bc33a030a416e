#!/usr/bin/env bash
# The one test command: installs what is missing, builds the native, win32
# and fuzz presets, runs the native tests, the fuzz targets briefly, and the
# tests of the shipped i686 build under 32-bit Wine on a private X display.
# Ends with one line "N passed, N failed" and exits non-zero when anything
# failed or did not build.
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
LOGS="$ROOT/build/test-logs"
START=$(date +%s)

PASSED=0
FAILED=0
FAILURES=()

fail() { FAILED=$((FAILED + 1)); FAILURES+=("$1"); echo "FAIL: $1"; }
pass() { PASSED=$((PASSED + 1)); }

# count_gtest <name> <log> <exit status>: adds the log's passed and failed tests.
count_gtest() {
  local name=$1 log=$2 status=$3 ok bad
  ok=$(tr -d '\r' <"$log" | grep -cE '^\[       OK \] ')
  bad=$(tr -d '\r' <"$log" | grep -cE '^\[  FAILED  \] .*\([0-9]+ ms\)$')
  PASSED=$((PASSED + ok))
  FAILED=$((FAILED + bad))
  if [ "$bad" -gt 0 ]; then
    while IFS= read -r line; do FAILURES+=("$name: $line"); done \
      < <(tr -d '\r' <"$log" | grep -E '^\[  FAILED  \] .*\([0-9]+ ms\)$' | sed 's/^\[  FAILED  \] //')
  fi
  # A run that stops midway hides every test after it: that is a failure
  # even when some tests before it failed too.
  if ! grep -qE '^\[==========\] [0-9]+ tests? from .* ran\.' < <(tr -d '\r' <"$log"); then
    fail "$name stopped before its end (status $status: crash or time-out); see $log"
  elif [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then
    fail "$name exited with status $status; see $log"
  fi
  echo "$name: $ok passed, $bad failed"
}

# run_gtest <name> <timeout> <command...>
run_gtest() {
  local name=$1 limit=$2; shift 2
  local log="$LOGS/$name.log"
  timeout "$limit" "$@" >"$log" 2>&1
  count_gtest "$name" "$log" $?
}

echo "== setup"
if ! scripts/setup.sh; then
  echo "setup failed"
  echo "0 passed, 1 failed"
  exit 1
fi
mkdir -p "$LOGS"

echo "== build"
BUILT=()
for preset in native win32 fuzz; do
  t0=$(date +%s)
  if cmake --preset "$preset" >"$LOGS/configure-$preset.log" 2>&1 &&
     cmake --build --preset "$preset" >"$LOGS/build-$preset.log" 2>&1; then
    warnings=$(grep -c 'warning:' "$LOGS/build-$preset.log")
    if [ "$warnings" -gt 0 ]; then
      grep 'warning:' "$LOGS/build-$preset.log" | head -n 20
      fail "build $preset: $warnings warnings"
    else
      pass
    fi
    BUILT+=("$preset")
    echo "build $preset: ok in $(( $(date +%s) - t0 )) s"
  else
    tail -n 30 "$LOGS/build-$preset.log" "$LOGS/configure-$preset.log" 2>/dev/null
    fail "build $preset"
  fi
done
built() { [[ " ${BUILT[*]} " == *" $1 "* ]]; }

if built native; then
  echo "== native tests"
  run_gtest native-unit 900 build/native/tests/qv_unit_tests
  # Extra native test programs (the sanitizer builds of later suites) follow the same pattern.
  for exe in build/native/tests/qv_*_tests; do
    [ "$exe" = build/native/tests/qv_unit_tests ] && continue
    [ -x "$exe" ] && run_gtest "native-$(basename "$exe")" 900 "$exe"
  done
fi

# The push suites again under ThreadSanitizer: the plug-in's host calls in
# from several threads.
echo "== ThreadSanitizer"
if cmake --preset tsan >"$LOGS/configure-tsan.log" 2>&1 &&
   cmake --build --preset tsan >"$LOGS/build-tsan.log" 2>&1; then
  pass
  run_gtest tsan-push 900 build/tsan/tests/qv_push_tests
else
  tail -n 30 "$LOGS/build-tsan.log" "$LOGS/configure-tsan.log" 2>/dev/null
  fail "build tsan"
fi

if built fuzz; then
  echo "== fuzz smoke runs"
  for exe in build/fuzz/fuzz/fuzz_*; do
    [ -x "$exe" ] || continue
    name=$(basename "$exe")
    corpus="$ROOT/fuzz/corpus/${name#fuzz_}"
    work="$ROOT/build/fuzz-corpus/$name"
    mkdir -p "$work"
    args=("$work")
    [ -d "$corpus" ] && args+=("$corpus")
    if timeout 300 "$exe" -max_total_time="${QV_FUZZ_SECONDS:-10}" -rss_limit_mb=2048 \
        -artifact_prefix="$work/" "${args[@]}" >"$LOGS/$name.log" 2>&1; then
      pass
      echo "$name: clean ($(grep -oE 'Done [0-9]+ runs' "$LOGS/$name.log" | tail -n 1))"
    else
      tail -n 20 "$LOGS/$name.log"
      fail "$name found a crash; see $LOGS/$name.log"
    fi
  done
fi

if built win32; then
  echo "== Windows tests under Wine"
  wine_start=$(date +%s)
  # shellcheck source=scripts/wine-env.sh
  . "$ROOT/scripts/wine-env.sh"
  trap qv_wine_stop EXIT
  qv_wine_start
  run_gtest wine-unit 900 "$QV_WINE" "$QV_WIN_BUILD/tests/qv_unit_tests.exe"
  if [ -f "$QV_WIN_BUILD/tests/qv_win_tests.exe" ]; then
    # Quotes fire only at a weekday's trading time, on the PC's own clock.
    qv_trading_time "2026-12-09 10:00:00"
    run_gtest wine-win 900 "$QV_WINE" "$QV_WIN_BUILD/tests/qv_win_tests.exe"
    qv_real_time
  fi

  if [ -x build/native/tests/gbk_dump ] && [ -f "$QV_WIN_BUILD/tests/gbk_dump.exe" ]; then
    build/native/tests/gbk_dump >"$LOGS/gbk-native.txt"
    "$QV_WINE" "$QV_WIN_BUILD/tests/gbk_dump.exe" | tr -d '\r' >"$LOGS/gbk-windows.txt"
    if [ -s "$LOGS/gbk-native.txt" ] && cmp -s "$LOGS/gbk-native.txt" "$LOGS/gbk-windows.txt"; then
      pass
      echo "gbk tables: Linux and Windows agree on $(wc -l <"$LOGS/gbk-native.txt") conversions"
    else
      diff "$LOGS/gbk-native.txt" "$LOGS/gbk-windows.txt" | head -n 10
      fail "gbk tables differ between Linux and Windows"
    fi
  fi

  # Scenario scripts of later suites: each gets the build folders and the
  # running Wine and counts as one test by its exit status.
  for script in tests/e2e/*.sh; do
    [ -f "$script" ] || continue
    name=$(basename "$script" .sh)
    if timeout 900 bash "$script" >"$LOGS/e2e-$name.log" 2>&1; then
      pass
      echo "e2e $name: passed"
    else
      tail -n 30 "$LOGS/e2e-$name.log"
      fail "e2e $name; see $LOGS/e2e-$name.log"
    fi
  done
  qv_wine_stop
  trap - EXIT
  echo "Windows tests: $(( $(date +%s) - wine_start )) s"
fi

echo
if [ ${#FAILURES[@]} -gt 0 ]; then
  echo "Failures:"
  printf '  %s\n' "${FAILURES[@]}"
fi
echo "took $(( $(date +%s) - START )) s"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
