#!/usr/bin/env bash
# End-to-end check of the real window: installs the game into a staging tree, starts it on an X
# server of its own (no window manager) and plays it with xdotool, checking screenshot pixels. Then
# the same game on the screens players have, each an X server of its own under a window manager
# (tests/e2e/screens.py): a small screen with a panel, a big one, scale factors 1.25, 1.5 and 2.
#
#   TILORA_BUILD_DIR=dir         the build tree to install from (default build/test, configured
#                                and built when missing)
#   TILORA_SCREENSHOT=file.png   play on a painted landscape instead and write a screenshot of the
#                                game in progress, e.g. docs/screenshot.png
#   TILORA_E2E_KEEP=1            keep the work folder (picture, game log, failure screenshot)
#   TILORA_E2E_BIG=1             play a 4000 x 3000 picture instead, shown whole in the window of a
#                                1366 x 768 screen, keeping its screenshots in the work folder (by hand);
#                                TILORA_E2E_BIG=2: the same on a 2732 x 1536 screen at QT_SCALE_FACTOR=2
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh xvfb xauth xdotool imagemagick x11-utils python3 cmake openbox

build=${TILORA_BUILD_DIR:-build/test}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILORA_TESTS=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
fi
cmake --build "$build" -j"$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/tilora-e2e.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -f "$work/game.pid" ]; then
    kill "$(cat "$work/game.pid")" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ "${TILORA_E2E_KEEP:-0}" = 1 ]; then
    echo "e2e work folder kept: $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

cmake --install "$build" --prefix "$work/stage" >"$work/install.log"
game="$work/stage/games/tilora"
[ -x "$game" ] || { echo "FAIL - the install put no tilora in $work/stage/games"; exit 1; }

big=${TILORA_E2E_BIG:-0}
case "$big" in
  1) screen=1366x768 ratio=1 ;;
  2) screen=2732x1536 ratio=2 ;;
  *) screen=1600x1000 ratio=1 ;;
esac

# A display of our own: the first free number, with a fresh cookie so that only we can use it.
export XAUTHORITY="$work/Xauthority"
touch "$XAUTHORITY"
for n in $(seq 90 190); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  xauth -q -f "$XAUTHORITY" add ":$n" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
  Xvfb ":$n" -screen 0 "$screen"x24 -nolisten tcp -noreset -auth "$XAUTHORITY" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then break; fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || { echo "FAIL - could not start Xvfb"; exit 1; }

# No desktop session here: keep Qt from looking for one.
unset WAYLAND_DISPLAY SESSION_MANAGER
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

args=(--game "$game" --workdir "$work")
script=tests/e2e/play.py
limit=110
if [ -n "${TILORA_SCREENSHOT:-}" ]; then
  case "$TILORA_SCREENSHOT" in
    /*) shot=$TILORA_SCREENSHOT ;;
    *) shot="$root/$TILORA_SCREENSHOT" ;;
  esac
  mkdir -p "$(dirname "$shot")"
  # The same play on a landscape the project paints itself, which takes a while to paint.
  script=docs/screenshot.py
  limit=300
  args+=(--out "$shot")
fi
if [ "$big" = 1 ] || [ "$big" = 2 ]; then
  # A 4000 x 3000 picture instead: the play surface shown whole, shrunk to the window.
  script=tests/e2e/big_photo.py
  limit=600
  args=(--game "$game" --workdir "$work" --ratio "$ratio" --screen "$screen")
  if [ "$ratio" != 1 ]; then export QT_SCALE_FACTOR=$ratio; fi
fi
if ! timeout "$limit" python3 "$script" "${args[@]}"; then
  echo "== game log =="
  cat "$work/game.log" 2>/dev/null || true
  if [ -f "$work/failure.png" ]; then
    mkdir -p "$build/e2e"
    cp "$work/failure.png" "$build/e2e/failure.png"
    echo "screen at the failure: $build/e2e/failure.png"
  fi
  exit 1
fi

# The screens players have: only in the plain run, which the test command makes. Their screenshots
# are kept beside the build for whoever looks at them.
if [ -z "${TILORA_SCREENSHOT:-}" ] && [ "$big" != 1 ] && [ "$big" != 2 ]; then
  if ! timeout 400 python3 tests/e2e/screens.py --game "$game" --workdir "$work"; then
    echo "== game log =="
    cat "$work/game.log" 2>/dev/null || true
    mkdir -p "$build/e2e"
    cp "$work"/screens-*.png "$build/e2e/" 2>/dev/null || true
    echo "screens at the failure: $build/e2e/"
    exit 1
  fi
  mkdir -p "$build/e2e"
  cp "$work"/screens-*.png "$build/e2e/" 2>/dev/null || true
fi
