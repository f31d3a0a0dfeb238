#!/usr/bin/env bash
# The desktop game minimised in play under a window manager (Xvfb and openbox): Control starts a game, the
# window is minimised for 40 s and restored; the ship icons and the picture must be as they were.
#   tests/desktop-minimise.sh [display number] [seconds]   after ./build.sh play has built build/vexed-drifts
# Not in CI (it takes a minute); leaves its screenshots in build/minimise-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
display=:${1:-260}
away=${2:-40}
game=build/vexed-drifts
out=build/minimise
[ -x "$game" ] || { echo "desktop-minimise: build $game first (./build.sh play)"; exit 2; }

pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
sleep 1
DISPLAY=$display openbox >/dev/null 2>&1 & pids+=($!)
sleep 1
DISPLAY=$display SDL_AUDIODRIVER=dummy "$game" >/dev/null 2>&1 & pids+=($!); pid=$!
window=$(DISPLAY=$display timeout 20 xdotool search --sync --name 'Vexed Drifts' | head -1)
x() { DISPLAY=$display xdotool "$@"; }
shot() { DISPLAY=$display import -window "$window" "$out-$1.png"; }
# The ship icons at the top left, one per ship left (16 x 23 each, 28 apart): the places that look like
# the first (objects in play may pass over them).
ships() {
  local n=0 i differ
  convert "$out-$1.png" -crop 16x23+130+16 +repage "$out-icon.png"
  for i in 1 2 3 4 5 6 7 8; do
    convert "$out-$1.png" -crop "16x23+$((102 + 28 * i))+16" +repage "$out-slot.png"
    differ=$(compare -metric AE -fuzz 30% "$out-icon.png" "$out-slot.png" null: 2>&1 || true)
    [ "${differ%%.*}" -lt 12 ] && n=$((n + 1))
  done
  echo $n
}
cputime() { ps -o cputimes= -p "$1" 2>/dev/null || ps -o time= -p "$1"; }

sleep 8                                           # loading, then the title page
x windowactivate --sync "$window" keydown Control_L sleep 0.2 keyup Control_L
sleep 1.5                                         # round 1 under way, before its objects come close
shot before
x windowminimize --sync "$window"
sleep 1
cpu0=$(cputime $pid)
sleep "$away"
cpu1=$(cputime $pid)
x windowactivate --sync "$window" 2>/dev/null
sleep 0.1
shot after
sleep 2
shot later
before=$(ships before) after=$(ships after) later=$(ships later)
changed=$(compare -metric AE -fuzz 15% "$out-before.png" "$out-after.png" null: 2>&1 || true)
echo "desktop-minimise: ${away} s minimised, the game used $((cpu1 - cpu0)) s of processor time meanwhile;" \
     "ships ${before} before, ${after} on return, ${later} 2 s later;" \
     "${changed} of 480000 pixels differ between the frames before and after"
[ "$before" -gt 0 ] && [ "$before" = "$after" ] && [ "$before" = "$later" ]
