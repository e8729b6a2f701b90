#!/bin/bash
# Kills the return's steps at random moments (kill -9), or makes one system call of theirs fail
# (strace fault injection: a write for lack of space, a read, a sync or a rename with an I/O
# error, an open for lack of descriptors), on a demo company; then runs the step and the ones
# after it again and compares every table of the company and the XML files (sending time aside)
# with a run that was never interrupted. An index file may be laid out otherwise after a
# rebuild: a difference there is judged by its keys (the records in the order of each tag).
# Right after each stop every table of the company must also read whole with dbfread.
# Usage: scripts/kill-campaign.sh BUILD_DIR WORK_DIR [LINES [TRIALS_PER_STEP [MODE]]]
#   MODE: kill (default), enospc, eio-read, eio-sync, eio-rename, emfile
set -u
B="$(cd "$1" && pwd)"; W="$2"; LINES="${3:-200000}"; N="${4:-6}"; MODE="${5:-kill}"
case "$MODE" in
  kill) ;;
  enospc) CALLS=pwrite64; ERR=ENOSPC ;;
  eio-read) CALLS=pread64,read; ERR=EIO ;;
  eio-sync) CALLS=fsync,fdatasync; ERR=EIO ;;
  eio-rename) CALLS=rename,renameat,renameat2; ERR=EIO ;;
  emfile) CALLS=openat; ERR=EMFILE ;;
  *) echo "modo desconocido: $MODE" >&2; exit 2 ;;
esac
D="$W/demo"
STEPS=("import-chart" "import-movements" "fix-iva" "fix-comisiones" "integrate"
       "bases --format 1002 --yes" "bases --format 1003 --yes" "bases --format 1004 --yes"
       "bases --format 1010 --yes" "bases --format 1011 --yes" "bases --format 1012 --yes"
       "generate --format all --both --anio 2010 --envio 7 --yes")
cli() { "$B/exogena-cli" --program "$D/program" --drive "$D/drive" --company ANDINA10 "$@"; }
state() {
  (cd "$D" && find . -type f \( -iname '*.dbf' -o -iname '*.cdx' -o -iname '*.fpt' -o -iname '*.99' \) \
     ! -path './drive/*' ! -path './program/Error/*' | sort | xargs md5sum
   find . -iname 'Dmuisca*.xml' | sort | while read -r f; do
     echo "$(sed 's/FecEnvio>[^<]*</FecEnvio>X</' "$f" | md5sum | cut -c1-32)  $f"; done)
}
# The records of a table listed in the order of each tag of its index file (the table: the
# shortest name of the folder that begins as the index file's name without its final "x").
orders() {
  local stem="${2%.*}"; stem="${stem%[xX]}"
  local table
  table=$(cd "$1" && ls | grep -i "^$stem" | grep -iE '\.(dbf|99)$' | awk '{print length, $0}' | sort -n | head -1 | cut -d' ' -f2-)
  [ -n "$table" ] || return
  for tag in $("$B/exogena-cli" dbf "$1/$table" --index "$1/$2" 2>/dev/null |
               sed -n '/^Etiquetas/,/^Registros/p' | awk 'NF>2{print $1}'); do
    "$B/exogena-cli" dbf "$1/$table" --index "$1/$2" --tag "$tag" --recnos 2>&1 | md5sum
  done
}
rm -rf "$W"; mkdir -p "$W"
cli_demo() { "$B/exogena-cli" demo "$D" --companies 1 --lines "$LINES" >/dev/null; }
cli_demo
declare -a DUR
for k in "${!STEPS[@]}"; do
  rm -rf "$W/s$k"; cp -a "$D" "$W/s$k"
  s=$(date +%s.%N); cli ${STEPS[$k]} > "$W/clean-$k.log" 2>&1; e=$(date +%s.%N)
  DUR[$k]=$(python3 -c "print($e-$s)")
  echo "paso $k (${STEPS[$k]}): ${DUR[$k]} s"
done
state > "$W/golden.txt"; rm -rf "$W/final"; cp -a "$D" "$W/final"
fails=0
for k in "${!STEPS[@]}"; do
  for t in $(seq 1 "$N"); do
    rm -rf "$D"; cp -a "$W/s$k" "$D"
    if [ "$MODE" = kill ]; then
      what=$(python3 -c "import random; d=${DUR[$k]}; print(round(random.uniform(0.003, 0.04) if random.random() < 0.4 else random.uniform(0.003, d * 1.05), 3))")
      # The program itself in the background (not a function, whose subshell would be killed
      # in its place and leave the program running).
      "$B/exogena-cli" --program "$D/program" --drive "$D/drive" --company ANDINA10 \
        ${STEPS[$k]} > "$W/stopped.log" 2>&1 & pid=$!
      sleep "$what"
      if kill -9 $pid 2>/dev/null; then what="muerto a los $what s"; else what="termin\xc3\xb3 antes de $what s"; fi
      wait $pid 2>/dev/null
      what=$(printf "%b" "$what")
    else
      strace -f -qq -o "$W/calls.txt" -e trace=$CALLS "$B/exogena-cli" --program "$D/program" \
        --drive "$D/drive" --company ANDINA10 ${STEPS[$k]} >/dev/null 2>&1
      calls=$(grep -c . "$W/calls.txt"); rm -rf "$D"; cp -a "$W/s$k" "$D"
      when=$(python3 -c "import random; print(random.randint(1, max(1, $calls)))")
      strace -f -qq -o "$W/injected.txt" -e trace=$CALLS -e inject=$CALLS:error=$ERR:when=$when \
        "$B/exogena-cli" --program "$D/program" --drive "$D/drive" --company ANDINA10 \
        ${STEPS[$k]} > "$W/stopped.log" 2>&1
      rc=$?
      call=$(grep -a -m1 "$ERR" "$W/injected.txt" | sed 's/^[0-9]* *//' | cut -c1-90)
      said=$(grep -a -m1 -iE 'espacio|error|no se pud|da.ado|fall' "$W/stopped.log" | cut -c1-100)
      what="$ERR en la llamada $when de $calls [$call]: sale con $rc: $said"
      if [ "$MODE" = enospc ] && [ $rc -eq 0 ] && grep -a "No hay espacio" "$W/stopped.log" | grep -vq "aviso"; then
        echo "FALLA paso $k: una escritura sin espacio y el paso termina con 0"; fails=$((fails+1))
      fi
    fi
    # Right after the stop, before the program runs again, every table of the company must read
    # whole with an independent reader (dbfread), memos included.
    unreadable=$(/usr/bin/python3 - "$D/program" <<'PY'
import os, sys
try:
    import dbfread
except ImportError:
    sys.exit(0)
bad = []
for root, _, files in os.walk(sys.argv[1]):
    for f in files:
        if not f.lower().endswith('.dbf') or f.startswith('~'):
            continue
        p = os.path.join(root, f)
        try:
            for _ in dbfread.DBF(p, encoding='cp1252', load=False, char_decode_errors='replace'):
                pass
        except Exception as e:
            bad.append('%s (%s)' % (os.path.relpath(p, sys.argv[1]), type(e).__name__))
print(' '.join(bad))
PY
)
    if [ -n "$unreadable" ]; then
      fails=$((fails+1)); echo "ILEGIBLE paso $k (${STEPS[$k]}), $what: $unreadable"
    fi
    : > "$W/rerun.log"
    for j in $(seq "$k" $((${#STEPS[@]}-1))); do cli ${STEPS[$j]} >> "$W/rerun.log" 2>&1; done
    state > "$W/got.txt"
    bad=""
    while read -r line; do
      f="${line#*  ./}"
      case "$f" in
        *.cdx|*.CDX)
          dir="$(dirname "$f")"; base="$(basename "$f")"
          [ "$(orders "$D/$dir" "$base")" = "$(orders "$W/final/$dir" "$base")" ] || bad="$bad $f" ;;
        *) bad="$bad $f" ;;
      esac
    done < <(diff "$W/got.txt" "$W/golden.txt" | grep '^<' | sed 's/^< [0-9a-f]*  //' | sed 's/^/x  /')
    missing=$(diff "$W/got.txt" "$W/golden.txt" | grep -c '^>' || true)
    changed=$(diff "$W/got.txt" "$W/golden.txt" | grep '^<' | wc -l)
    if [ -n "$bad" ] || [ "$missing" -gt "$changed" ]; then
      fails=$((fails+1)); mkdir -p "$W/falla-$k-$t"; cp "$W"/*.log "$W/got.txt" "$W/falla-$k-$t/"
      echo "DIFIERE paso $k (${STEPS[$k]}), $what:$bad"
    else
      echo "ok paso $k (${STEPS[$k]}), $what"
    fi
  done
done
echo "fallas: $fails"
[ "$fails" -eq 0 ]
