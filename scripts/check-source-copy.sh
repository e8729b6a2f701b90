#!/bin/sh
# Runs the README's test command, up to its layer and format checks, from a copy of the sources
# without git (what a downloaded archive gives), so that nothing in the checks depends on git.
# The copy holds the working tree as it stands (committed or not). Skipped outside a git checkout.
set -e
cd "$(dirname "$0")/.."
if ! command -v git >/dev/null 2>&1 || ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "Copia sin git: no aplica (estas fuentes no son un clon)."
  exit 0
fi
copy=$(mktemp -d "${TMPDIR:-/tmp}/exogena-copia.XXXXXX")
trap 'rm -rf "$copy"' EXIT
tree=$(git stash create 2>/dev/null)
git archive "${tree:-HEAD}" | tar -x -C "$copy"
# Files not yet known to git are part of the working tree too.
git ls-files --others --exclude-standard -z | tar -c --null -T - 2>/dev/null | tar -x -C "$copy"
if [ -e "$copy/.git" ]; then
  echo "La copia de las fuentes tiene .git" >&2
  exit 1
fi
echo "Copia de las fuentes sin git en $copy:"
EXOGENA_CHECKS_ONLY=1 "$copy/test"
