#!/usr/bin/env bash
# Makes the seed corpus of report_file_fuzz, fuzz/corpus/report_file/, from the TAB seeds:
# each seed is a TAB file followed by a text block written out line by line here, independently
# of the report writer. The pilvo-rep tests read these files too. Run it after changing them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tabs=$top/fuzz/corpus/tab_file
out=$top/fuzz/corpus/report_file
mkdir -p "$out"

# Every argument as one line of the block: a line feed, then the text.
lines() { printf '\n%s' "$@"; }

# point N X Y Z: the 15 lines of point N with fixed temperatures and joint counts.
point() {
  lines "---- Punto $1 ----" "$2" "$3" "$4" 21.000 21.500 22.000 \
    1200 -340 56 78000 -9 10 0 0
}

trailer() {  # trailer LANGUAGE BAR_LENGTH TEXT...
  local language=$1 bar=$2
  shift 2
  lines "---- Parametri aggiuntivi ----" "$@" "$language" 0 0.000000 "$bar" 0.000000
}

# A point calibration: one POINT zone of three points, the report texts left at "?".
{
  cat "$tabs/usb6_quaternion.tab"
  lines Calibra 5 1 "---- Zona 0 ----" 3 1
  point 0 100.125 -20.500 300.000
  point 1 100.127 -20.498 300.002
  point 2 100.124 -20.501 299.999
  trailer 0 0.000000 '?' '?' '?' '?' '?' '?'
} >"$out/point_calibration.rep"

# A ball bar: the fixed end (POINT zone), then the BAR zone, with typed texts, in Italian.
{
  cat "$tabs/serial6_dh_marks.tab"
  lines Calibra 5 2 "---- Zona 0 ----" 2 1
  point 0 10.000 20.000 30.000
  point 1 10.002 19.998 30.001
  lines "---- Zona 1 ----" 3 2
  point 0 510.001 20.000 30.000
  point 1 10.000 520.003 30.000
  point 2 10.000 20.000 529.998
  trailer 1 500.000000 'Rossi' 'Bianchi' '01/02/2026' '31/01/2026' '?' 'AB12'
} >"$out/ball_bar.rep"
