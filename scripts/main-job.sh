#!/bin/sh
# The program's main job on the demo; grows as the system grows.
# Lays out the demo installation once (beside the build), then starts the desktop program on it
# when there is a display, or runs the return of its first company headless through exogena-cli
# when there is none.
# Usage: scripts/main-job.sh BUILD_DIR [DEMO_DIR [LINES]]
#   DEMO_DIR defaults to demo/ in the repository; LINES to the generator's default size.
#   EXOGENA_CLI, when set, is the command that runs exogena-cli (the Windows program under wine:
#   "scripts/wine-run.sh build/windows/exogena-cli.exe"); the desktop program is then not started.
set -e
build="$(cd "$1" && pwd)"
exogena_cli() {
  if [ -n "$EXOGENA_CLI" ]; then
    $EXOGENA_CLI "$@"
  else
    "$build/exogena-cli" "$@"
  fi
}
cd "$(dirname "$0")/.."
demo="${2:-demo}"
lines="${3:-}"
if [ ! -f "$demo/program/VarMem01.mem" ]; then
  rm -rf "$demo" "$demo.tmp"
  if [ -n "$lines" ]; then
    exogena_cli demo "$demo.tmp" --companies 3 --products both --lines "$lines"
  else
    exogena_cli demo "$demo.tmp" --companies 3 --products both
  fi
  mv "$demo.tmp" "$demo"
  echo
fi
if [ -z "$EXOGENA_CLI" ] && [ -n "$DISPLAY$WAYLAND_DISPLAY" ] && [ -x "$build/exogena" ]; then
  drive="$(cd "$demo/drive" && pwd)"
  cd "$demo/program"
  EXOGENA_DRIVE="$drive" exec "$build/exogena"
fi
echo "exogena-cli demo-info $demo"
exogena_cli demo-info "$demo"

# The return of the demo's first company, headless: the ledger imported, the fixes applied, the
# third parties checked and the movements integrated into the formats, each step printing what it
# did.
cli() {
  echo
  echo "exogena-cli --company ANDINA10 $*"
  exogena_cli --program "$demo/program" --drive "$demo/drive" --company ANDINA10 "$@"
}
cli import-chart
cli import-movements
cli fix-iva
cli fix-comisiones
cli validate-terceros
cli integrate
# The withholding bases of 1002 and 1003 and the manual-data tables prepared as their dialogs
# first prepare them, each listed.
for format in 1002 1003 1004 1010 1011 1012; do
  cli bases --format "$format" --yes
done
# Every format's workbook and XML file, written from its output records; each XML file checked
# against its format's field rules. The whole listing (messages and every finding) is kept beside
# the demo; the terminal gets a short summary per format. The header carries the period of the
# demo company's tax year (2010, the header's own default) and, as the year of sending, 2011, the
# year such a return is filed (the header's own default is the current year). A format of more
# than 5,000 records is written as several files, each with its own sending number.
listing="$demo/generate.txt"
echo
echo "exogena-cli --company ANDINA10 generate --format all --both --anio 2011 --yes"
exogena_cli --program "$demo/program" --drive "$demo/drive" --company ANDINA10 \
  generate --format all --both --anio 2011 --yes >"$listing" 2>&1 || {
  cat "$listing"
  exit 1
}
awk -v listing="$listing" '
  /^Formato / { if (line != "") print line " - observaciones: " obs; line = $0; obs = 0; next }
  /^  (\/|[A-Za-z]:\\)/ { files++; next }
  /^  Observaciones del archivo XML: / { obs = $NF; total += $NF; next }
  END {
    if (line != "") print line " - observaciones: " obs
    print "Archivos escritos: " files + 0
    print "Observaciones de las reglas en los archivos XML: " total " (lista completa en " listing ")"
  }' "$listing"
