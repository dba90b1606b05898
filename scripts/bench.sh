#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them: the player's actions on generated 640x480,
# 4000x3000 and 8000x6000 pictures at levels 4 and 9, beside the copies and decodes they are measured
# against, and opening phone-like photos on a 2560 x 1440 screen beside one plain decode of each
# (open_photo/..., photos kept in build/bench/photos). Extra arguments go to the benchmark program,
# e.g. --benchmark_filter=move or --benchmark_filter=open_photo/.
# With Xvfb installed, start-up to the window shown and the idle memory are measured too, the
# game's peak memory with a 4000 x 3000 and an 8000 x 6000 JPEG on a 2560 x 1440 screen, and the
# first open of each photo open_photo wrote (bench/first_open.sh), and the 4000 x 3000 JPEG opened
# through the Open dialog, timed from outside the game (bench/dialog_open.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build-essential cmake qt6-base-dev qt6-multimedia-dev qt6-tools-dev qt6-l10n-tools libgl-dev libjpeg-dev qt6-qpa-plugins \
  libbenchmark-dev xvfb xauth xdotool imagemagick libjpeg-turbo-progs openbox x11-utils libx11-dev
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTILORA_TESTS=ON -DTILORA_BENCH=ON
cmake --build build/bench -j"$(nproc)" --target tilora_bench tilora_startup tilora screen_watch

QT_QPA_PLATFORM=offscreen build/bench/bench/tilora_bench --benchmark_counters_tabular=true "$@"

if command -v Xvfb >/dev/null; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill "$xvfb" 2>/dev/null || true' EXIT
  sleep 1
  echo "== start-up under Xvfb (5 runs) =="
  for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    out=$(DISPLAY=$display QT_QPA_PLATFORM=xcb build/bench/bench/tilora_startup)
    shown=$(sed -n 's/^shown_at_ns //p' <<<"$out")
    echo "run $run: window shown after $(( (shown - start) / 1000000 )) ms;" \
      "$(sed -n 's/^idle_rss_kB //p' <<<"$out") kB resident when idle"
  done
  echo "== peak memory: a JPEG opened from the command line, dealt, a piece carried across the board =="
  desk=:$((200 + RANDOM % 100))
  Xvfb "$desk" -screen 0 2560x1440x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  deskx=$!
  trap 'kill "$xvfb" "$deskx" 2>/dev/null || true' EXIT
  sleep 1
  photos=build/bench/photos
  mkdir -p "$photos"
  for size in 4000x3000 8000x6000; do
    [ -f "$photos/$size.jpg" ] || convert -seed 7 -size "$size" plasma:fractal -quality 90 "$photos/$size.jpg"
    bash bench/peak_memory.sh build/bench/tilora "$desk" "$photos/$size.jpg" 4 9
  done
  # The phone-like photos open_photo wrote, as a new player opens them.
  shopt -s nullglob
  firsts=("$photos"/*x*_*.jpg "$photos"/*x*_*.bmp)
  if [ ${#firsts[@]} -gt 0 ]; then
    echo "== the first open: a photo named on the command line of a fresh game (5 runs, medians) =="
    bash bench/first_open.sh build/bench/bench/tilora_startup "$desk" 5 "${firsts[@]}"
  fi
  echo "== the open through the Open dialog, watched on the screen (5 runs, medians) =="
  bash bench/dialog_open.sh build/bench/tilora build/bench/bench/screen_watch 5 "$photos/4000x3000.jpg"
fi
