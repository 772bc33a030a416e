#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  g++-mingw-w64-i686-posix mingw-w64-tools
  zlib1g-dev libz-mingw-w64-dev libasio-dev
  libgtest-dev googletest libbenchmark-dev nlohmann-json3-dev libpugixml-dev libopencc-dev
  clang libclang-rt-14-dev
  wine wine64 fonts-wine xvfb xauth x11-utils x11-apps imagemagick locales fonts-wqy-microhei
  sox msitools wixl libcpp-httplib-dev cmark-gfm
  libssl-dev openssl python3-cryptography
  xinetd
  wine32:i386 gcc-multilib
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# The shipped programs are 32-bit: their tests run under 32-bit Wine, whose
# packages come from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  echo "setup: added the i386 architecture"
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
else
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "setup: installed ${missing[*]}"
fi

# Wine takes the Windows code page from the Unix locale: the Chinese one
# gives code page 936, as on the users' machines, and keeps file names UTF-8.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  echo "setup: generated the zh_CN.UTF-8 locale"
fi
