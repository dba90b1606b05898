#!/usr/bin/env bash
# A photo named on the command line of a fresh game, as a new player meets it: the time from entering
# main to the window settled on the picture, less the same for the empty window, beside one plain
# full-size decode of the same file (libjpeg-turbo's djpeg; for a BMP, reading the file once), in
# alternated runs on the given X display; medians.
#   bench/first_open.sh STARTUP DISPLAY RUNS PHOTO...
# STARTUP is build/bench/bench/tilora_startup.
set -euo pipefail
startup=$1 display=$2 runs=$3
shift 3
export DISPLAY=$display QT_QPA_PLATFORM=xcb

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
settled() { "$startup" "$@" | sed -n 's/^settled_after_main_ms //p'; }
# Wall milliseconds of one command.
timed() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'
}

for photo in "$@"; do
  empty=() open=() decode=()
  for _ in $(seq "$runs"); do
    empty+=("$(settled)")
    open+=("$(settled "$photo")")
    case $photo in
    *.bmp) decode+=("$(timed cat "$photo")") ;;
    *) decode+=("$(timed djpeg -outfile /dev/null "$photo")") ;;
    esac
  done
  e=$(printf '%s\n' "${empty[@]}" | median)
  o=$(printf '%s\n' "${open[@]}" | median)
  d=$(printf '%s\n' "${decode[@]}" | median)
  awk -v name="$(basename "$photo")" -v e="$e" -v o="$o" -v d="$d" \
    -v by="$(case $photo in *.bmp) echo read ;; *) echo djpeg ;; esac)" \
    'BEGIN { printf "%s: empty window %s ms, with the photo %s ms, open %.1f ms, %s %s ms, ratio %.2f\n", name, e, o, o - e, by, d, (o - e) / d }'
done
