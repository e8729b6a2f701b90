#!/bin/sh
# The headless main job twice on one demo, with the Linux exogena-cli and with the Windows
# exogena-cli.exe under wine, and the XML files of both runs compared byte for byte (the sending
# time aside). The demo is laid out once by the Linux program and copied for each run.
# Usage: scripts/windows-main-job.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR [LINES]
set -e
cd "$(dirname "$0")/.."
linux="$(cd "$1" && pwd)"
windows="$(cd "$2" && pwd)"
lines="${3:-3000}"
work="$windows/main-job"
rm -rf "$work"
mkdir -p "$work"
"$linux/exogena-cli" demo "$work/demo" --companies 3 --products both --lines "$lines" >/dev/null
cp -r "$work/demo" "$work/linux"
cp -r "$work/demo" "$work/windows"
env -u DISPLAY -u WAYLAND_DISPLAY scripts/main-job.sh "$linux" "$work/linux" >"$work/linux.txt" 2>&1 || {
  cat "$work/linux.txt"
  exit 1
}
EXOGENA_CLI="$(pwd)/scripts/wine-run.sh $windows/exogena-cli.exe" \
  scripts/main-job.sh "$windows" "$work/windows" >"$work/windows.txt" 2>&1 || {
  cat "$work/windows.txt"
  exit 1
}
# The XML files of the two runs: the same names, and the same bytes once the sending time (the
# moment each run wrote its file) is set aside.
(cd "$work/linux" && find . -iname '*.xml' | sort) >"$work/linux-xml.txt"
(cd "$work/windows" && find . -iname '*.xml' | sort) >"$work/windows-xml.txt"
if ! cmp -s "$work/linux-xml.txt" "$work/windows-xml.txt"; then
  echo "Los archivos XML escritos en Windows no son los mismos que en Linux:"
  diff "$work/linux-xml.txt" "$work/windows-xml.txt"
  exit 1
fi
count=0
status=0
without_time() { sed 's|<FecEnvio>[^<]*</FecEnvio>|<FecEnvio/>|' "$1"; }
while read -r file; do
  count=$((count + 1))
  without_time "$work/linux/$file" >"$work/a.xml"
  without_time "$work/windows/$file" >"$work/b.xml"
  if ! cmp "$work/a.xml" "$work/b.xml"; then
    echo "Difiere en Windows: $file"
    status=1
  fi
done <"$work/linux-xml.txt"
rm -f "$work/a.xml" "$work/b.xml"
if [ "$count" -eq 0 ]; then
  echo "La tarea principal no escribió ningún archivo XML"
  exit 1
fi
[ $status -eq 0 ] && echo "Windows: $count archivos XML iguales a los de Linux (salvo la hora de envío)."
exit $status
