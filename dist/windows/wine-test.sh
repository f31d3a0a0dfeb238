#!/usr/bin/env bash
# ./build.sh windows-test, after the Windows build in $1: every test program under Wine, then in a virtual
# display a failed start (its message box), the game (window, title page, a game started with Left Control,
# two Escapes to exit code 0, frame rates), then the installer: silent install, the installed game, silent uninstall without a trace.
set -euo pipefail
build=$(realpath "$1")
native=${2:+$(realpath "$2")}  # a Linux build of the game, run the same way for its frame rates (optional)
export WINEPREFIX=${WINEPREFIX:-$build/wine} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
out=$build/wine-test
rm -rf "$out" && mkdir -p "$out"
fail() { echo "windows-test: $*" >&2; exit 1; }
xvfb=""
cleanup() {
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
step=$SECONDS
lap() { echo "windows-test: $1 ($((SECONDS - step)) s)"; step=$SECONDS; }

# Wine's first program starts its service processes, which inherit that program's output and keep it
# open: ctest would wait for them as if the test had hung after passing. So they are started first, with
# the wineserver held up until the tests are done. A time limit guards each test all the same, and one
# that reaches it is run again.
wineserver -p 30
wine cmd /c exit >/dev/null 2>&1 </dev/null
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 90 --repeat after-timeout:2 ||
  fail "test programs failed under Wine"
wineserver -k 2>/dev/null || true; wineserver -w
lap "every test program passed under Wine"

# A display of our own: the first free one of :210 to :229.
for n in $(seq 210 229); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=:$n; break; }
done
[ -n "${display:-}" ] || fail "no free display within :210 to :229"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

key() { xdotool windowfocus "$1" sleep 0.3 keydown "$2" sleep 0.2 keyup "$2"; }
# The game's window, the newest so named, once it answers. The game may replace its first window as it
# picks its renderer, so every use looks it up afresh; none within 90 s gives nothing and a failure.
game_window() {
  local window
  for _ in $(seq 90); do
    window=$(xdotool search --name '^Vexed Drifts' 2>/dev/null | tail -1) || true
    [ -n "$window" ] && xdotool getwindowname "$window" >/dev/null 2>&1 && { echo "$window"; return 0; }
    sleep 1
  done
  return 1
}
brightness() { convert "$1" -format '%[fx:int(1000*mean)]' info:; }  # per mille
# Plays the game started by the command: the window and its title, the title page, Left Control starts a
# game, Escape ends it and Escape again quits with exit code 0. Screenshots and stderr go to $out/LABEL*.
play() { # label, command...
  local label=$1 log=$out/$1.log; shift
  : >"$log"
  VD_FRAME_RATE=1 SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} "$@" 2>>"$log" & local game=$!
  local window title
  window=$(game_window) || { kill $game 2>/dev/null; cat "$log"; fail "$label: no window appeared"; }
  title=$(xdotool getwindowname "$window") || fail "$label: the window went as soon as it came"
  [ "$title" = "Vexed Drifts [96k]" ] || fail "$label: the window is titled '$title'"
  echo "== attract" >>"$log"
  sleep 12  # the loading bar, then the title page; the attract figures come from this time
  window=$(game_window) || fail "$label: the window went before the title page"
  import -window "$window" "$out/$label-title.png" || fail "$label: the title page could not be captured"
  echo "== play" >>"$log"
  key "$window" Control_L || fail "$label: Left Control could not be typed"
  sleep 3  # soon enough that round 1 cannot be won yet (the counter would read R 02, too like R 00)
  window=$(game_window) || fail "$label: the window went in play"
  import -window "$window" "$out/$label-play.png" || fail "$label: play could not be captured"
  sleep 5  # the play figures come from these 8 s
  echo "== end" >>"$log"
  key "$window" Escape || fail "$label: Escape could not be typed"
  sleep 2
  key "$window" Escape || true  # the game may be gone before the key is up
  local code=0 waited=0
  while kill -0 $game 2>/dev/null && [ $waited -lt 30 ]; do sleep 1; waited=$((waited + 1)); done
  kill -0 $game 2>/dev/null && { kill $game; fail "$label: still running 30 s after the second Escape"; }
  wait $game || code=$?
  [ $code = 0 ] || { cat "$log"; fail "$label: ended with $code, not 0"; }
  # The title page is lit; in play the round counter at the bottom left reads R 01 instead of R 00.
  local title_light changed
  title_light=$(brightness "$out/$label-title.png")
  [ "$title_light" -ge 10 ] || fail "$label: the title page is dark ($title_light per mille)"
  changed=$(compare -metric AE -fuzz 20% "$out/$label-title.png[70x30+0+570]" "$out/$label-play.png[70x30+0+570]" \
    null: 2>&1 || true)
  [ "${changed%%.*}" -ge 100 ] || fail "$label: no game started (the round counter shows $changed pixels changed)"
  # Mean frame rates of the two-second reports within each phase (the first report of each left out).
  rates=$(awk '/^== /{phase=$2; n=0; next} /frames per second/{ if (n++ > 0) { s[phase]+=$2; c[phase]++ } }
    END { printf "%.1f in the attract pages, %.1f in play", c["attract"] ? s["attract"]/c["attract"] : 0, c["play"] ? s["play"]/c["play"] : 0 }' \
    "$log")
  echo "windows-test: $label: window '$title', title page and play seen, exit code 0; frames per second: $rates"
}

cd "$build"
# A start-up failure (here: no such video driver) is said in a message box as well as on stderr.
SDL_VIDEODRIVER=none wine ./vexed-drifts.exe 2>"$out/failure.log" & game=$!
box=$(timeout 60 xdotool search --sync --name '^Vexed Drifts$' | head -1) || true
[ -n "$box" ] || { kill $game; fail "a failed start showed no message box"; }
import -window "$box" "$out/failure-box.png"
key "$box" Return
code=0
wait $game || code=$?
[ $code = 1 ] && grep -q '^vexed-drifts: cannot open a window' "$out/failure.log" ||
  fail "a failed start ended with $code, saying: $(cat "$out/failure.log")"
play wine wine ./vexed-drifts.exe
if [ -n "$native" ]; then  # the figures to compare: Linux, and Wine with the window-surface path as well
  play native "$native"
  SDL_RENDER_DRIVER=software play wine-surface wine ./vexed-drifts.exe
fi
wineserver -w
lap "the game ran under Wine in Xvfb"

# The installer, silently; then the installed game; then the uninstaller, which must leave nothing behind
# (the temporary folders aside, where Windows itself keeps an uninstaller's copy until it restarts).
snapshot() {
  (cd "$WINEPREFIX/drive_c" && find . -path '*/[Tt]emp' -prune -o -print | sort)
  grep -i 'vexed' "$WINEPREFIX"/*.reg | sed 's/^/registry: /' || true
}
# A run stopped halfway may have left the game installed in this prefix: the comparison starts without it.
dir="$WINEPREFIX/drive_c/Program Files/Vexed Drifts"
if [ -f "$dir/uninstall.exe" ]; then
  timeout 120 wine 'C:\Program Files\Vexed Drifts\uninstall.exe' /S || fail "the earlier run's game could not be uninstalled"
  wineserver -w
fi
snapshot >"$out/before"
setup=$(ls "$build"/vexed-drifts-*-setup.exe)
timeout 120 wine "$setup" /S || fail "the installer failed"
wineserver -w
for f in vexed-drifts.exe SDL2.dll README.txt LICENSE.txt uninstall.exe; do
  [ -f "$dir/$f" ] || fail "the installer did not install $f"
done
[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vexed Drifts/Vexed Drifts.lnk" ] ||
  fail "no Start-menu shortcut"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VexedDrifts' /reg:64 >/dev/null 2>&1 ||
  fail "no entry in the installed programs"
snapshot | grep -q '^registry: ' || fail "the installed programs' entry is not in the registry files"
lap "installed silently"
play installed wine 'C:\Program Files\Vexed Drifts\vexed-drifts.exe'
wineserver -w
timeout 120 wine 'C:\Program Files\Vexed Drifts\uninstall.exe' /S || fail "the uninstaller failed"
wineserver -w  # the uninstaller runs on from a copy of itself
snapshot >"$out/after"
diff "$out/before" "$out/after" || fail "the uninstaller left the differences above"
lap "installed game played, uninstalled without a trace"
echo "windows-test: passed"
