#!/usr/bin/env bash
# A photo opened as the player opens it, timed from outside the game by watching the screen
# (screen_watch): Ctrl+D, the full path typed into the file name box, and from the press of Enter
# until no part of the dialog shows any more and until the screen last changed before it settled on
# the picture. Measured in a fresh game (the window grows from its start size) and then in the same
# game with another picture of the same size open (the photo mirrored: the same picture again would
# leave the screen as it was); beside one full-size djpeg of the same file, in alternated runs. Then
# the photo named on the command line of a fresh game, from starting it to the screen settled, less
# the same for the empty window. Medians, on a 1920 x 1080 screen of its own under openbox.
#   bench/dialog_open.sh GAME WATCH RUNS PHOTO...
# GAME is build/bench/tilora, WATCH build/bench/bench/screen_watch; needs Xvfb, openbox, xdotool,
# xprop, xdpyinfo, djpeg and jpegtran.
set -euo pipefail
game=$1 watch=$2 runs=$3
shift 3
export QT_QPA_PLATFORM=xcb

pids=()
work=$(mktemp -d)
cleanup() {
  local p
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    p=${pids[i]}
    kill "$p" 2>/dev/null || true
    wait "$p" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "dialog_open: $*" >&2
  exit 1
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Polls a command every 0.1 s for at most TENTHS tenths of a second.
until_true() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# An X server and a window manager of our own.
for n in $(seq 300 399); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
done
export DISPLAY=:$n
Xvfb "$DISPLAY" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
until_true 100 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY"
openbox >/dev/null 2>&1 &
pids+=($!)
until_true 100 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
# The pointer rests in a corner, away from the dialog and the game.
xdotool mousemove 1919 1079

cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# Until the game has used no processor time for 0.3 s: shown, opened, settled.
idle() {
  local last=-1 now
  for _ in $(seq 200); do
    [ -e "/proc/$1" ] || fail "the game ended"
    now=$(cpu "$1")
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.3
  done
  fail "the game never rests"
}

# Starts the empty game and waits for its window, shown and at rest: sets game_pid and window.
start_game() {
  "$game" >/dev/null 2>&1 &
  game_pid=$!
  pids+=("$game_pid")
  window=
  find_window() { window=$(xdotool search --all --onlyvisible --pid "$game_pid" --name '^Tilora$' 2>/dev/null | tail -1) && [ -n "$window" ]; }
  until_true 200 find_window || fail "no game window"
  idle "$game_pid"
}
stop_game() {
  kill "$game_pid"
  wait "$game_pid" 2>/dev/null || true
  unset 'pids[-1]'
}

# Opens PHOTO through the Open dialog and prints the watcher's figures.
open_photo() {
  local photo=$1 dialog='' X Y WIDTH HEIGHT left=0 right=0 top=0 bottom=0 extents
  xdotool windowfocus --sync "$window" key --clearmodifiers ctrl+d
  find_dialog() { dialog=$(xdotool search --all --onlyvisible --pid "$game_pid" --name '^Deschide$' 2>/dev/null | tail -1) && [ -n "$dialog" ]; }
  until_true 100 find_dialog || fail "no Open dialog"
  idle "$game_pid"
  xdotool windowfocus --sync "$dialog" type --delay 2 "$photo"
  # The name's completion list shown and the dialog drawn before Enter.
  sleep 0.3
  idle "$game_pid"
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  # The window manager's frame (title bar, borders) is the dialog too, as the player sees it.
  extents=$(xprop -id "$dialog" _NET_FRAME_EXTENTS)
  if [[ $extents == *=* ]]; then
    IFS=', ' read -r left right top bottom <<<"${extents#*= }"
  fi
  "$watch" enter "$game_pid" $((X - left)) $((Y - top)) $((WIDTH + left + right)) $((HEIGHT + top + bottom)) ||
    fail "$(basename "$photo") was not opened"
}

# Wall milliseconds of one full-size decode.
djpeg_ms() {
  local t0 t1
  t0=$(date +%s%N)
  djpeg -outfile /dev/null "$1"
  t1=$(date +%s%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'
}
settled_from_start() { "$watch" start "$game" "$@" | sed -n 's/^settled_ms //p'; }

for photo in "$@"; do
  photo=$(realpath "$photo")
  mirrored=$work/mirrored.jpg
  jpegtran -flip horizontal -outfile "$mirrored" "$photo"
  gone1=() settled1=() gone2=() settled2=() decode=() empty=() cli=()
  for run in $(seq "$runs"); do
    start_game
    first=$(open_photo "$photo")
    idle "$game_pid"
    open_photo "$mirrored" >/dev/null
    idle "$game_pid"
    second=$(open_photo "$photo")
    stop_game
    gone1+=("$(sed -n 's/^dialog_gone_ms //p' <<<"$first")")
    settled1+=("$(sed -n 's/^settled_ms //p' <<<"$first")")
    gone2+=("$(sed -n 's/^dialog_gone_ms //p' <<<"$second")")
    settled2+=("$(sed -n 's/^settled_ms //p' <<<"$second")")
    decode+=("$(djpeg_ms "$photo")")
    empty+=("$(settled_from_start)")
    cli+=("$(settled_from_start "$photo")")
    echo "  run $run: first open gone ${gone1[-1]} settled ${settled1[-1]}, second gone ${gone2[-1]}" \
      "settled ${settled2[-1]}, djpeg ${decode[-1]}, start empty ${empty[-1]} with the photo ${cli[-1]} ms" >&2
  done
  m() { printf '%s\n' "$@" | median; }
  awk -v name="$(basename "$photo")" -v g1="$(m "${gone1[@]}")" -v s1="$(m "${settled1[@]}")" \
    -v g2="$(m "${gone2[@]}")" -v s2="$(m "${settled2[@]}")" -v d="$(m "${decode[@]}")" \
    -v e="$(m "${empty[@]}")" -v c="$(m "${cli[@]}")" 'BEGIN {
      printf "%s: djpeg %s ms\n", name, d
      printf "  first open:   dialog gone %s ms, settled %s ms, settled/djpeg %.2f\n", g1, s1, s1 / d
      printf "  second open:  dialog gone %s ms, settled %s ms, settled/djpeg %.2f\n", g2, s2, s2 / d
      printf "  command line: empty window %s ms, with the photo %s ms, open %.1f ms, open/djpeg %.2f\n", e, c, c - e, (c - e) / d
    }'
done
