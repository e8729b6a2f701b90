#!/bin/sh
# Fails when a source file includes a header of a layer above its own, or Qt below the pages:
#   expr < store < shell < the return's subsystems < their pages and ui < app.
# Subsystems of the same layer may use each other; a page folder (src/<x>/pages) is in the pages
# layer whatever its subsystem.
set -e
cd "$(dirname "$0")/.."
status=0
layer() {
  case "$1" in
    */pages|*/pages/*) echo 4 ;;
    expr*) echo 0 ;;
    store*) echo 1 ;;
    shell*) echo 2 ;;
    masterdata*|assignment*|import*|demo*|consolidation*|generation*|reports*) echo 3 ;;
    ui*) echo 4 ;;
    app*) echo 5 ;;
    *) echo 9 ;;
  esac
}
for file in $(scripts/source-files.sh | grep '^src/'); do
  rel=${file#src/}
  dir=$(dirname "$rel")
  own=$(layer "$dir")
  includes=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*\([<"]\)\([^>"]*\)[>"].*/\1\2/p' "$file")
  for inc in $includes; do
    case "$inc" in
      '<Q'*)
        if [ "$own" -lt 4 ]; then
          echo "$file: Qt header ${inc#<} below the pages layer"
          status=1
        fi ;;
      '"'*/*)
        path=${inc#\"}
        theirs=$(layer "$(dirname "$path")")
        if [ "$theirs" -ne 9 ] && [ "$theirs" -gt "$own" ]; then
          echo "$file: includes $path, a layer above its own"
          status=1
        fi ;;
    esac
  done
done
[ $status -eq 0 ] && echo "Capas: ninguna inclusión hacia arriba."
exit $status
