#!/bin/sh
# Builds the Windows installer Exogena-setup.exe with NSIS (Debian's makensis) from the Windows
# build: exogena-cli.exe (and exogena.exe with its DLLs and Qt plugins when the desktop program
# was built), and a program folder laid out by exogena-cli install (reference tables, FORMS\,
# help) by the Windows program itself under wine. Usage: scripts/windows-installer.sh WINDOWS_BUILD_DIR
set -e
cd "$(dirname "$0")/.."
root="$(pwd)"
windows="$(cd "$1" && pwd)"
work="$windows/installer"
stage="$work/Exogena"
rm -rf "$work"
mkdir -p "$work"
EXOGENA_SOURCE="$root" scripts/wine-run.sh "$windows/exogena-cli.exe" install "$stage" >/dev/null
cp "$windows/exogena-cli.exe" "$stage/"
main=exogena-cli.exe
if [ -f "$windows/exogena.exe" ]; then
  cp "$windows/exogena.exe" "$stage/"
  main=exogena.exe
  # The desktop program's DLLs and Qt plugins, laid beside it by scripts/windows-desktop.sh.
  if [ -d "$windows/desktop-runtime" ]; then
    cp -r "$windows/desktop-runtime/." "$stage/"
  fi
fi
# The lists of what is installed: each folder and its files, and for the uninstaller the same
# files and then the folders deepest first (RMDir leaves a folder that is not empty).
files="$work/files.nsh"
uninstall="$work/uninstall.nsh"
: >"$files"
: >"$uninstall"
(cd "$stage" && find . -type d | sort) | while read -r dir; do
  rel="${dir#.}"
  rel="${rel#/}"
  win="$(printf '%s' "$rel" | tr '/' '\\')"
  printf 'SetOutPath "$INSTDIR%s"\n' "${win:+\\$win}" >>"$files"
  (cd "$stage/$dir" && find . -maxdepth 1 -type f | sort) | while read -r f; do
    name="${f#./}"
    printf 'File "%s"\n' "$stage/${rel:+$rel/}$name" >>"$files"
    printf 'Delete "$INSTDIR\\%s%s"\n' "${win:+$win\\}" "$name" >>"$uninstall"
  done
done
(cd "$stage" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
  win="$(printf '%s' "${dir#./}" | tr '/' '\\')"
  printf 'RMDir "$INSTDIR\\%s"\n' "$win" >>"$uninstall"
done
version="$(sed -n 's/^project(exogena VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
makensis -V2 -DFILES_NSH="$files" -DUNINSTALL_NSH="$uninstall" -DMAIN_EXE="$main" \
  -DVERSION="$version" -DOUTFILE="$windows/Exogena-setup.exe" installer/exogena.nsi
echo "Instalador: $windows/Exogena-setup.exe"
