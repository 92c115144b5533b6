#!/usr/bin/env bash
# The main job on the virtual programmer: builds the programs it runs (zvp
# and zvp-sim for Linux, zvp.exe), starts zvp-sim on a pseudo-terminal and
# connects the command line to it, showing the window's status texts, its
# state and the wire trace of the exchange. The tests, the other trees and
# their packages are scripts/test.sh's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
# The Wine prefix is made while the programs build: wineboot mostly waits.
(
  # shellcheck source=scripts/wine_env.sh
  source scripts/wine_env.sh
  zvp_wine_prefix "$PWD/build/win/wineprefix"
) &
prefix=$!
cmake --preset native >/dev/null
cmake --build --preset native --target zvp zvp-sim >/dev/null
cmake --preset win >/dev/null
cmake --build --preset win --target zvp >/dev/null
wait $prefix || { echo "run: no Wine prefix" >&2; exit 1; }
work=$(mktemp -d)
./build/native/tools/zvp-sim >"$work/sim" </dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/sim" ] && break; sleep 0.1; done
pty=$(head -n1 "$work/sim")
echo "== virtual programmer on $pty"
echo "== zvp --port $pty --trace trace.txt connect state"
./build/native/tools/zvp --port "$pty" --trace "$work/trace.txt" connect state
echo "== wire trace"
cat "$work/trace.txt"

# The window program itself: zvp.exe --simulate under Wine, its built-in
# virtual programmer behind COM1..COM4. On the user's display when one
# answers (the script ends when the window is closed); otherwise on a private
# Xvfb, long enough to wait for the window and take a screenshot of it.
echo "== zvp.exe --simulate (the window)"
# shellcheck source=scripts/wine_env.sh
source scripts/wine_env.sh
trap 'zvp_wine_stop || true; kill $sim 2>/dev/null || true; rm -rf "$work"' EXIT
zvp_wine_prefix "$PWD/build/win/wineprefix"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
  echo "on display $DISPLAY; close the window to end"
  wine build/win/tools/zvp.exe --simulate
else
  unset DISPLAY
  zvp_wine_display
  # No window manager on Xvfb: Wine draws the frames and captions itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wine build/win/tools/zvp.exe --simulate >/dev/null 2>&1 &
  window=
  for _ in $(seq 120); do
    window=$(xdotool search --name 'ZVP-V2.0C' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.5
  done
  [ -n "$window" ] || { echo "the window did not show within 60 s" >&2; exit 1; }
  sleep 3  # the first paint and the start-up texts
  eval "$(xdotool getwindowgeometry --shell "$window")"
  mkdir -p build/screenshots
  shot=$PWD/build/screenshots/run_window.png
  # shellcheck disable=SC2153  # WIDTH, HEIGHT, X, Y come from xdotool
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
  echo "no display: the window ran headless on Xvfb; screenshot: $shot"
fi
