#!/bin/sh
# Builds the C and C++ libraries the core needs (libxlsxwriter, libzip, pugixml) for 64-bit
# Windows with MinGW-w64, from Debian's own source packages, as static libraries installed under
# build/windows-deps (or $EXOGENA_WINDOWS_DEPS), and GoogleTest from the sources Debian's
# libgtest-dev ships. Done once: later runs find the stamp and stop. zlib comes built from Debian
# (libz-mingw-w64-dev).
# Usage: scripts/windows-deps.sh
set -e
cd "$(dirname "$0")/.."
root="$(pwd)"
prefix="${EXOGENA_WINDOWS_DEPS:-$root/build/windows-deps}"
packages="libxlsxwriter libzip pugixml"
stamp="$prefix/.built"
# The stamp names the folder too: the installed package files name it, so a moved folder is built again.
want="prefix=$prefix $(for p in $packages; do apt-cache showsrc "$p" 2>/dev/null | sed -n 's/^Version: //p' | head -1 | sed "s/^/$p=/"; done | tr '\n' ' ')$(dpkg-query -W -f='googletest=${Version}' libgtest-dev)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi
echo "Compilando para Windows: $packages (fuentes de Debian) en $prefix"
src="$prefix/src"
rm -rf "$prefix"
mkdir -p "$src"
# The sources as Debian ships them, with Debian's patches applied.
(cd "$src" && apt-get source -qq $packages >/dev/null 2>&1) || {
  echo "No se pudieron obtener las fuentes de: $packages (¿falta la línea deb-src?)" >&2
  exit 1
}
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs="${EXOGENA_JOBS:-2}"
build() {
  name="$1"
  shift
  dir="$(find "$src" -maxdepth 1 -type d -name "$name-*" | head -1)"
  cmake -S "$dir" -B "$dir/_build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DEXOGENA_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF -DCMAKE_C_COMPILER_LAUNCHER= \
    -DCMAKE_CXX_COMPILER_LAUNCHER= "$@" >"$dir/_configure.log" 2>&1 || {
    cat "$dir/_configure.log" >&2
    exit 1
  }
  cmake --build "$dir/_build" -j"$jobs" >"$dir/_build.log" 2>&1 || {
    tail -50 "$dir/_build.log" >&2
    exit 1
  }
  cmake --install "$dir/_build" >/dev/null
}
cp -r /usr/src/googletest "$src/googletest-debian"
build googletest -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF
build pugixml -DPUGIXML_BUILD_TESTS=OFF
build libzip -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
  -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
build libxlsxwriter -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF
rm -rf "$src"
echo "$want" >"$stamp"
