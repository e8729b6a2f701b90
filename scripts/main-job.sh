#!/bin/sh
# The program's main job on the demo; grows as the system grows.
# Lays out the demo installation once in demo/ (beside the build), then starts the desktop program
# on it when there is a display, or shows what the demo holds when there is none.
# Usage: scripts/main-job.sh BUILD_DIR
set -e
build="$(cd "$1" && pwd)"
cd "$(dirname "$0")/.."
if [ ! -f demo/program/VarMem01.mem ]; then
  rm -rf demo demo.tmp
  "$build/exogena-cli" demo demo.tmp --companies 3 --products both
  mv demo.tmp demo
  echo
fi
if [ -n "$DISPLAY$WAYLAND_DISPLAY" ] && [ -x "$build/exogena" ]; then
  drive="$(pwd)/demo/drive"
  cd demo/program
  EXOGENA_DRIVE="$drive" exec "$build/exogena"
fi
echo "exogena-cli demo-info demo"
exec "$build/exogena-cli" demo-info demo
