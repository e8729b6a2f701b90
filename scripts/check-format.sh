#!/bin/sh
# Fails when a C++ file of the repository is not formatted as .clang-format says.
# Usage: scripts/check-format.sh [--fix]
set -e
cd "$(dirname "$0")/.."
files=$(scripts/source-files.sh)
if [ "$1" = --fix ]; then
  echo "$files" | xargs clang-format -i
  exit 0
fi
bad=$(echo "$files" | xargs clang-format --dry-run 2>&1 | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning:.*/\1/p' | sort -u)
if [ -n "$bad" ]; then
  echo "Archivos sin el formato de .clang-format (scripts/check-format.sh --fix los corrige):"
  for f in $bad; do echo "  $f"; done
  exit 1
fi
echo "Formato: todos los archivos siguen .clang-format."
