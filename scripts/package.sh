#!/usr/bin/env bash
# Makes the installer (a Windows Installer package) of a Windows build.
#
#   scripts/package.sh [win32] [--app DIR] [--version V] [--out FILE]
#
# Makes the shipped setup file from build/win32/app, brought up to date
# first unless --app names another folder. The version is the product
# version of the build (project() in CMakeLists.txt) unless --version gives
# another one.
# The programs go into the package stripped of their debugging information.
# The package is build/<preset>/package/Tarvolen-Merrowick-<version>.msi
# unless --out says where; it prints the path of the package it made. It
# installs per user, see scripts/make-msi.py.
# A program that trusts the test update key (whose private half is in the
# sources, for the installer's scenario) never goes under the shipped
# name: its package is Tarvolen-Merrowick-<version>-test-key.msi, and an
# --out of the shipped name is refused.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

preset=win32
if [ $# -gt 0 ] && [[ "$1" != --* ]]; then
  preset=$1
  shift
fi
app="" version="" out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --app) app=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "package: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$preset" in
  win32) ;;
  *) echo "package: the preset is win32, not $preset" >&2; exit 2 ;;
esac
command -v wixl >/dev/null && command -v msibuild >/dev/null || "$ROOT/scripts/setup.sh"

build="$ROOT/build/$preset"
if [ -z "$app" ]; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT/..}" CCACHE_NOHASHDIR=1
  [ -f "$build/CMakeCache.txt" ] || (cd "$ROOT" && cmake --preset "$preset" >/dev/null)
  cmake --build "$build" --target app_folder -j2 >/dev/null
  app="$build/app"
fi
if [ -z "$version" ]; then
  version=$(cat "$build/qv_version.txt")
fi
# Whether the program holds the test key's 64 bytes, as it trusts it.
trusts_test_key() { # <quorvel.exe>
  python3 - "$1" "$ROOT/src/app/keys/update_test_key.inc" <<'PY'
import re, sys
key = bytes(int(h, 16) for h in re.findall(r"0x([0-9a-fA-F]{2})", open(sys.argv[2]).read()))
assert len(key) == 64, len(key)
sys.exit(0 if key in open(sys.argv[1], "rb").read() else 1)
PY
}
[ -f "$app/quorvel.exe" ] || { echo "package: no quorvel.exe in $app" >&2; exit 1; }
suffix=""
if trusts_test_key "$app/quorvel.exe"; then
  suffix="-test-key"
  if [ -n "$out" ] && [[ "$(basename "$out" | tr '[:upper:]' '[:lower:]')" =~ ^tarvolen-merrowick-[0-9.]*\.msi$ ]]; then
    echo "package: $app/quorvel.exe trusts the test update key; refusing to name its package $(basename "$out")," \
      "the shipped name" >&2
    exit 1
  fi
fi
[ -n "$out" ] || out="$build/package/Tarvolen-Merrowick-$version$suffix.msi"
mkdir -p "$(dirname "$out")"

# The package takes a copy with the programs stripped of their debugging
# information (the build keeps it for debuggers).
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -r "$app/." "$stage/"
triple=i686-w64-mingw32
for f in "$stage"/*.exe "$stage"/*.dll; do
  # Only what has debugging information: a stripped file stays as it is.
  [ -f "$f" ] && "$triple-objdump" -h "$f" | grep -q '\.debug_' && "$triple-strip" --strip-debug "$f"
done
python3 "$ROOT/scripts/make-msi.py" "$stage" "$version" "$out"
echo "$out"
