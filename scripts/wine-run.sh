#!/bin/sh
# Runs a Windows program under wine in the build's own wine prefix (build/wine, created on first
# use), without a display and without wine's debug output. Used by CTest for the Windows build
# (CMAKE_CROSSCOMPILING_EMULATOR) and by the scripts.
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGS...]
root="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${EXOGENA_WINEPREFIX:-$root/build/wine}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
# Debian installs the 64-bit loader outside PATH (the wine package adds only a wrapper).
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
fi
# One wine server for the many short runs of a script, kept 30 s after its last program ends: a
# program started while a server is shutting down loses its connection to it.
"$wineserver" -p30 </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
