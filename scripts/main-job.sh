#!/bin/sh
# The program's main job on the demo; grows as the system grows.
set -e
bin="$1/exogena-cli"
expr='"Retención en la fuente: " + AllTrim(Transform(1234567.5, "@ 999,999,999.99")) + " al " + DtoC(CtoD("31-12-2011"))'
echo "exogena-cli eval '$expr'"
"$bin" eval "$expr"
