#!/usr/bin/env bash
# The window program under Wine on a display: window_units_test.exe (the
# window code's parts), then window_driver.exe, which drives zvp.exe with real
# mouse and keyboard input in three runs: first start with COM1 leading to
# zvp-sim on a pseudo-terminal, a restart that must bring the stored choices
# back, and --simulate with damaged stored settings. Screenshots the driver
# asks for land in SHOT_DIR (default: build/screenshots of the source tree).
# PARTS "units" runs window_units_test.exe alone (the 32-bit build's check).
#
#   run_window.sh ZVP_SIM_PATH WIN_BUILD_DIR [SHOT_DIR [PARTS]]
set -u

if [ $# -lt 2 ]; then
  echo "usage: $0 ZVP_SIM_PATH WIN_BUILD_DIR [SHOT_DIR [units]]" >&2
  exit 2
fi
sim=$1
build=$(cd "$2" && pwd) || exit 2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
shots=${3:-$here/../../build/screenshots}
parts=${4:-all}
case $parts in
  all | units) ;;
  *) echo "$0: PARTS is all or units, not '$parts'" >&2; exit 2 ;;
esac
# shellcheck source-path=SCRIPTDIR/../.. source=scripts/wine_env.sh
source "$here/../../scripts/wine_env.sh"

zvp=$build/tools/zvp.exe
driver=$build/tests/wine/window_driver.exe
units=$build/tests/wine/window_units_test.exe
needed=("$zvp" "$units")
[ "$parts" = all ] && needed+=("$driver")
for f in "${needed[@]}"; do
  [ -f "$f" ] || { echo "no $f (build the win preset)" >&2; exit 2; }
done
[ -x "$sim" ] || { echo "no simulator at $sim" >&2; exit 2; }
mkdir -p "$shots" || exit 1
shots=$(cd "$shots" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-window.XXXXXX") || exit 1
sim_pid=
# Wine first: its server may hold the simulator's terminal.
# shellcheck disable=SC2317  # called from the trap
cleanup() {
  zvp_wine_stop
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started=$SECONDS
# A 32-bit build gets a 32-bit prefix of its own, as on a 32-bit Windows.
arch=$(zvp_wine_arch_of "$zvp") || exit 2
zvp_wine_prefix "$build/wineprefix" "$arch" || exit 1
zvp_wine_driven_display || exit 1
echo "display $DISPLAY"

failed=0
result() {
  if [ "$2" -eq 0 ]; then echo "== $1: ok"; else echo "== $1: FAILED ($2)"; failed=1; fi
}

run_units() {
  echo "== window_units_test"
  timeout 120 wine "$units" 2>"$work/units.err" | tr -d '\r'
  result window_units_test "${PIPESTATUS[0]}"
}
if [ "$parts" = units ]; then
  run_units
  echo "run took $((SECONDS - started)) s"
  exit $failed
fi

"$sim" >"$work/sim.out" 2>"$work/sim.err" </dev/null &
sim_pid=$!
pty=
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && { pty=$(head -n 1 "$work/sim.out"); break; }
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$pty" ] || [ ! -c "$pty" ]; then
  echo "the simulator gave no terminal" >&2
  cat "$work/sim.err" >&2
  exit 1
fi
echo "virtual programmer on $pty"
zvp_wine_ports COM1="$pty" COM2= COM3= COM4= || exit 1

signal=$work/signal
mkdir -p "$signal"
win_signal=$(winepath -w "$signal" 2>/dev/null)
win_zvp=$(winepath -w "$zvp" 2>/dev/null)

run_units

# One driver run. It asks with lines "ASK shot NAME WxH+X+Y" (a screenshot
# of that part of the screen) and "ASK reset" (the programmer restarts and
# sends its reset message); each is answered with a file in $signal.
drive() {
  local phase=$1 line name geometry
  echo "== window_driver $phase"
  timeout 240 wine "$driver" "$phase" "$win_zvp" "$win_signal" 2>"$work/driver.err" |
    while IFS= read -r line; do
      line=${line%$'\r'}
      echo "$line"
      case $line in
        "ASK shot "*)
          read -r _ _ name geometry <<<"$line"
          import -window root -crop "$geometry" +repage "$shots/$name.png" 2>/dev/null &&
            echo "# screenshot $shots/$name.png"
          : >"$signal/shot.done"
          ;;
        "ASK reset")
          kill -USR1 "$sim_pid" 2>/dev/null
          : >"$signal/reset.done"
          ;;
      esac
    done
  local status=${PIPESTATUS[0]}
  [ "$status" -eq 124 ] && echo "window_driver $phase overran its time" >&2
  result "window_driver $phase" "$status"
  # A program left behind by a failed run must not meet the next one.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
}

drive first
echo "== stored settings after the first run"
wine reg query 'HKCU\Software\zelvatool' 2>/dev/null | tr -d '\r' | tee "$work/reg.txt"
grep -Eq 'com[[:space:]]+REG_SZ[[:space:]]+com1$' "$work/reg.txt"
result "registry holds com1 (wine reg query)" $?
drive restart
drive simulate

echo "screenshots in $shots"
echo "run took $((SECONDS - started)) s"
exit $failed
