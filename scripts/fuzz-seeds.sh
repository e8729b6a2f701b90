#!/bin/sh
# Builds the seed corpora of the fuzz targets from the files the tests read and write: the
# independent tables, memos and indexes of tests/data, the tables of a demo company that
# exogena-cli lays out (when its path is given), and the lines of the report definitions.
# Usage: scripts/fuzz-seeds.sh OUTPUT_FOLDER [EXOGENA_CLI]
# Then: build/fuzz/fuzz_dbf_reader OUTPUT_FOLDER/dbf_reader -max_total_time=60, and so on.
set -e
cd "$(dirname "$0")/.."
out="$1"
cli="$2"
[ -n "$out" ] || { echo "uso: $0 CARPETA [exogena-cli]" >&2; exit 2; }
mkdir -p "$out"
sources="tests/data"
if [ -n "$cli" ]; then
  demo="$(mktemp -d)"
  trap 'rm -rf "$demo"' EXIT
  "$cli" demo "$demo/demo" --lines 200 --companies 1 >/dev/null
  sources="$sources $demo/demo"
fi
python3 - "$out" $sources <<'PY'
import hashlib, os, sys

out, sources = sys.argv[1], sys.argv[2:]
for target in ("dbf_reader", "cdx_reader", "fpt_reader", "expr_eval"):
    os.makedirs(os.path.join(out, target), exist_ok=True)

def put(target, data):
    name = hashlib.sha1(data).hexdigest()
    with open(os.path.join(out, target, name), "wb") as f:
        f.write(data)

LIMIT = 1 << 20  # seeds stay small: the fuzzer mutates them many times a second
files = []
for src in sources:
    for root, _, names in os.walk(src):
        files += [os.path.join(root, n) for n in names]
by_lower = {f.lower(): f for f in files}
for path in files:
    ext = os.path.splitext(path)[1].lower()
    data = open(path, "rb").read()
    if len(data) > LIMIT:
        continue
    if ext == ".cdx":
        put("cdx_reader", data)
    elif ext in (".fpt", ".dbt"):
        put("fpt_reader", data)
    elif ext == ".dbf":
        # The table's length in two bytes, the table (cut to what they can say), then its memo.
        table = data[:0xFFFF]
        memo = b""
        for mext in (".fpt", ".dbt"):
            companion = by_lower.get(os.path.splitext(path)[0].lower() + mext)
            if companion:
                memo = open(companion, "rb").read()[: LIMIT]
                break
        put("dbf_reader", len(table).to_bytes(2, "little") + table + memo)

# Expressions: the lines of the report definitions, each one a program of the language.
seen = set()
for name in sorted(os.listdir("forms")):
    for line in open(os.path.join("forms", name), "rb").read().split(b"\n"):
        line = line.strip(b"\r\t ")
        if line and not line.startswith(b"//") and line not in seen and len(seen) < 2000:
            seen.add(line)
            put("expr_eval", line)
PY
for t in dbf_reader cdx_reader fpt_reader expr_eval; do
  echo "$t: $(ls "$out/$t" | wc -l) semillas"
done
