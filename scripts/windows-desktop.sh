#!/bin/sh
# The desktop program for Windows, from this machine: Qt's base module (Core, Gui, Widgets,
# PrintSupport, Network) cross-compiled with MinGW-w64 from Debian's own qt6-base source package,
# with Debian's Qt host tools of the same version (QT_HOST_PATH), installed once under
# build/windows-qt; then exogena.exe, the desktop tests under wine with the offscreen platform,
# and one picture of the main window under wine with the Windows platform on a virtual display.
# Qt's build takes hours on a small machine, so it is not part of ./test; it runs at the lowest
# priority and is resumed where it stopped when run again.
# Usage: scripts/windows-desktop.sh
set -e
cd "$(dirname "$0")/.."
root="$(pwd)"
scripts/deps.sh test
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
for p in qt6-base-dev-tools x11-apps netpbm; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    $SUDO apt-get install -y -qq --no-install-recommends "$p"
done
scripts/windows-deps.sh
qt="$root/build/windows-qt"
version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
src="$qt/src"
stamp="$qt/.built"
started=$(date +%s)
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$version" ]; then
  mkdir -p "$src"
  if [ ! -d "$(find "$src" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)" ]; then
    (cd "$src" && apt-get source -qq "qt6-base=$version" >/dev/null)
  fi
  dir="$(find "$src" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)"
  echo "Compilando Qt $version para Windows en $qt (varias horas)"
  # Configured on every run (quick once configured), so that a changed option reaches a build that
  # was started before. Debian's source leaves out the tablet library of Windows (its licence
  # forbids changes), so tablet events are off; without OpenGL, its dynamic loading is off too.
  nice -n 19 cmake -S "$dir" -B "$dir/_build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$qt" -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_testlib=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_dynamicgl=OFF -DFEATURE_openssl=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_system_zlib=ON -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_libjpeg=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=ON -DFEATURE_sql_sqlite=OFF \
    -DFEATURE_tabletevent=OFF >"$qt/configure.log" 2>&1 || {
    tail -40 "$qt/configure.log" >&2
    exit 1
  }
  nice -n 19 cmake --build "$dir/_build" -j2 >"$qt/build.log" 2>&1 || {
    tail -40 "$qt/build.log" >&2
    exit 1
  }
  cmake --install "$dir/_build" >/dev/null
  echo "$version" >"$stamp"
fi
echo "Qt para Windows: $(($(date +%s) - started)) s en esta ejecución"

# exogena.exe and the desktop tests.
build="$root/build/windows-desktop"
# Libraries built again since the build folder was configured are found afresh.
[ "$root/build/windows-deps/.built" -nt "$build/CMakeCache.txt" ] && rm -f "$build/CMakeCache.txt"
nice -n 19 cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DEXOGENA_GUI=ON -DEXOGENA_WINDOWS_QT="$qt" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
nice -n 19 cmake --build "$build" -j2
# The DLLs and plugins beside the program, as the installer lays them out.
runtime="$build/desktop-runtime"
mkdir -p "$runtime/platforms" "$runtime/printsupport" "$runtime/styles"
for m in Core Gui Widgets PrintSupport Network; do cp "$qt/bin/Qt6$m.dll" "$runtime/"; done
# Qt's DLLs use MinGW's C++ run-time DLLs (the programs themselves link it statically).
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")" "$runtime/"
done
cp "$qt"/plugins/platforms/*.dll "$runtime/platforms/"
cp "$qt"/plugins/styles/*.dll "$runtime/styles/" 2>/dev/null || true
cp "$runtime"/*.dll "$build/"
cp -r "$runtime/platforms" "$build/"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -R '^windows_gui')

# One picture of the main window with the Windows platform plugin, on a virtual display.
shot="$build/main-window.png"
rm -rf "$build/shot-demo"
"$root/build/debug/exogena-cli" demo "$build/shot-demo" --companies 1 --lines 500 >/dev/null 2>&1 ||
  EXOGENA_SOURCE="$root" scripts/wine-run.sh "$build/exogena-cli.exe" demo "$build/shot-demo" --companies 1 --lines 500 >/dev/null
xvfb-run -a -s "-screen 0 1280x800x24" sh -c "
  cd '$build/shot-demo/program' &&
  WINEPREFIX='$root/build/wine' WINEDEBUG=-all EXOGENA_DRIVE='$build/shot-demo/drive' /usr/lib/wine/wine64 '$build/exogena.exe' &
  sleep 40; xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >'$shot'; kill \$! 2>/dev/null; true"
echo "Imagen de la ventana principal: $shot"
