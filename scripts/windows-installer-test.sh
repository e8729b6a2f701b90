#!/bin/sh
# Tests the Windows installer under wine: a silent install (/S) under "Program Files" with its
# Start-menu entry, the installed exogena-cli.exe running the demo's whole return (the headless
# main job), then a silent uninstall that removes the program and keeps the company data.
# Usage: scripts/windows-installer-test.sh WINDOWS_BUILD_DIR (with Exogena-setup.exe built)
set -e
cd "$(dirname "$0")/.."
root="$(pwd)"
windows="$(cd "$1" && pwd)"
export EXOGENA_WINEPREFIX="${EXOGENA_WINEPREFIX:-$root/build/wine}"
scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
drive_c="$EXOGENA_WINEPREFIX/drive_c"
installed="$drive_c/Program Files/Exogena"
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Exógena"
work="$windows/installer-test"
# The installer and the uninstaller may leave a process of theirs running after they return.
wait_wine() { WINEPREFIX="$EXOGENA_WINEPREFIX" "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -w; }
fail() {
  echo "Instalador: $*" >&2
  exit 1
}
rm -rf "$work" "$installed" "$menu"
mkdir -p "$work"
scripts/wine-run.sh "$windows/Exogena-setup.exe" /S
wait_wine
[ -f "$installed/exogena-cli.exe" ] || fail "no instaló exogena-cli.exe en Program Files"
[ -d "$installed/FORMS" ] && [ -d "$installed/help" ] || fail "no instaló FORMS\\ ni la ayuda"
[ -f "$installed/Formatos.dbf" ] || fail "no instaló las tablas de referencia"
[ -f "$installed/Desinstalar.exe" ] || fail "no dejó el desinstalador"
[ -f "$menu/Exógena.lnk" ] || fail "no creó la entrada del menú Inicio"

# The demo's whole return with the installed program.
cat >"$work/installed-cli" <<WRAP
#!/bin/sh
exec "$root/scripts/wine-run.sh" "$installed/exogena-cli.exe" "\$@"
WRAP
chmod +x "$work/installed-cli"
EXOGENA_CLI="$work/installed-cli" scripts/main-job.sh "$windows" "$work/demo" 3000 >"$work/main-job.txt" 2>&1 || {
  cat "$work/main-job.txt"
  fail "el programa instalado no hizo la declaración de la demostración"
}
xml=$(find "$work/demo" -iname '*.xml' | wc -l)
[ "$xml" -gt 0 ] || fail "el programa instalado no escribió archivos XML"

# A company folder and a session in the program folder, as the user's work leaves them.
mkdir -p "$installed/NRVVS/EMPRESA1"
printf 'datos' >"$installed/NRVVS/EMPRESA1/VRMAEEXO.DBF"
printf 'sesion' >"$installed/VarMem01.mem"
scripts/wine-run.sh "$installed/Desinstalar.exe" /S '_?=C:\Program Files\Exogena'
wait_wine
rm -f "$installed/Desinstalar.exe"  # run in place (_?=), it cannot erase itself
[ ! -f "$installed/exogena-cli.exe" ] || fail "la desinstalación dejó exogena-cli.exe"
[ ! -d "$installed/FORMS" ] || fail "la desinstalación dejó FORMS\\"
[ ! -e "$menu/Exógena.lnk" ] || fail "la desinstalación dejó la entrada del menú Inicio"
[ "$(cat "$installed/NRVVS/EMPRESA1/VRMAEEXO.DBF")" = datos ] ||
  fail "la desinstalación borró los datos de la empresa"
[ -f "$installed/VarMem01.mem" ] || fail "la desinstalación borró la sesión del usuario"
rm -rf "$installed"
echo "Instalador: instalación silenciosa, declaración de la demostración ($xml archivos XML) y desinstalación que conserva los datos de la empresa."
