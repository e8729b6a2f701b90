#!/bin/sh
# Installs the Debian packages the build and the tests need, skipping what is already there.
# Usage: scripts/deps.sh [build|test]
set -e
mode="${1:-build}"
pkgs="g++ cmake ninja-build ccache pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libxlsxwriter-dev libzip-dev zlib1g-dev libpugixml-dev"
if [ "$mode" = test ]; then
  pkgs="$pkgs python3 python3-dbf python3-dbfread libdbd-xbase-perl python3-openpyxl libxml2-utils poppler-utils xvfb xauth clang clang-format strace"
  # The Windows build: MinGW-w64, zlib for it, wine to run it, NSIS for the installer, and
  # dpkg-dev to unpack Debian's sources of the libraries built for Windows.
  pkgs="$pkgs g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 nsis dpkg-dev"
fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
# scripts/windows-deps.sh builds libraries from Debian's source packages: the same archive as
# the binary packages, as deb-src.
sources_updated=""
if [ "$mode" = test ] && ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /Types: deb\n/ && /URIs: [^ ]*\/debian\n/ { sub(/Types: deb\n/, "Types: deb-src\n"); print }' \
      /etc/apt/sources.list.d/debian.sources | $SUDO tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ]; then
    grep '^deb ' /etc/apt/sources.list | grep -v security | sed 's/^deb /deb-src /' |
      $SUDO tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  sources_updated=1
fi
missing=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing$sources_updated" ]; then
  echo "Instalando paquetes:$missing"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  [ -z "$missing" ] || $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
