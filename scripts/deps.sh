#!/bin/sh
# Installs the Debian packages the build and the tests need, skipping what is already there.
# Usage: scripts/deps.sh [build|test]
set -e
mode="${1:-build}"
pkgs="g++ cmake ninja-build ccache pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libxlsxwriter-dev libzip-dev libpugixml-dev"
if [ "$mode" = test ]; then
  pkgs="$pkgs python3 python3-dbf python3-dbfread libdbd-xbase-perl python3-openpyxl libxml2-utils poppler-utils xvfb xauth clang clang-format strace"
fi
missing=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "Instalando paquetes:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
