#!/usr/bin/env bash
# The game's peak resident size (VmHWM) as a player meets it, one fresh process per case: a JPEG
# given on the command line, the level chosen, dealt, a piece carried from the tray across the whole
# board and put down, on a 2560 x 1440 screen.
#   bench/peak_memory.sh GAME DISPLAY PICTURE LEVEL...
# The display must be an X server with a 2560 x 1440 screen; needs xdotool.
set -euo pipefail
game=$1 display=$2 picture=$3
shift 3
export DISPLAY=$display QT_QPA_PLATFORM=xcb

xdo() { xdotool "$@"; }
# Waits until the game has used no processor time for half a second: a deal or an open is done.
idle() {
  local pid=$1 last=-1 now
  for _ in $(seq 600); do
    now=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    [ "$now" = "$last" ] && return 0
    last=$now
    sleep 0.5
  done
}

for level in "$@"; do
  "$game" "$picture" >/dev/null 2>&1 &
  pid=$!
  window=
  for _ in $(seq 200); do
    window=$(xdo search --all --onlyvisible --pid "$pid" --name '^Tilora$' 2>/dev/null | tail -1) && [ -n "$window" ] && break
    sleep 0.1
  done
  idle "$pid"
  xdo windowfocus --sync "$window"
  if [ "$level" = 9 ]; then
    # The level panel's "Level Down" from 4 wraps round to 9; "Ok" starts the game at it. Both lie
    # where the panel puts them in the window's top left corner.
    xdo key --clearmodifiers ctrl+g
    sleep 0.5
    xdo mousemove --window "$window" 268 106 click 1
    sleep 0.3
    xdo mousemove --window "$window" 100 178 click 1
    idle "$pid"
  elif [ "$level" != 4 ]; then
    echo "only levels 4 and 9" >&2
    exit 2
  fi
  xdo key --clearmodifiers ctrl+a
  idle "$pid"
  eval "$(xdo getwindowgeometry --shell "$window")"
  # The tray fills the left half of the play surface, the board the right half.
  y=$((Y + HEIGHT / 2))
  from=$((X + WIDTH / 8)) to=$((X + WIDTH * 15 / 16))
  xdo mousemove "$from" "$y" mousedown 1
  for i in $(seq 40); do
    xdo mousemove $((from + (to - from) * i / 40)) "$y"
    sleep 0.02
  done
  xdo mouseup 1
  idle "$pid"
  echo "$(basename "$picture") level $level: peak $(awk '/^VmHWM/ { printf "%.0f", $2 / 1024 }' "/proc/$pid/status") MB"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
