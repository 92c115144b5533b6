#!/usr/bin/env bash
# The technician's day through the real serial path: zvp.exe under Wine on a
# private Xvfb, COM1 and COM7 leading to zvp-sim on a pseudo-terminal, COM5
# to a second zvp-sim, driven by journey_driver.exe with real input. Phases:
#   journey       open, download, auto-program, the code view and its edit
#                 dialog, save and reload a HEX file, an offline master, a
#                 programmer reset, the programmer pulled mid-download
#   anyport       COM7 from the window's dialog of other ports, and two
#                 windows started with --port COM5 and --port COM7
#   reliability   RUNS auto-program runs with faults zvp-sim draws at random
#
#   run_journey.sh ZVP_SIM_PATH WIN_BUILD_DIR PHASES [RUNS [SEED [SHOT_DIR]]]
#
# PHASES is one or more of "journey anyport reliability"; RUNS defaults
# to 200 and SEED (zvp-sim's random draws) to 1. Screenshots go to SHOT_DIR
# (default: build/screenshots of the source tree).
set -u

if [ $# -lt 3 ]; then
  echo "usage: $0 ZVP_SIM_PATH WIN_BUILD_DIR PHASES [RUNS [SEED [SHOT_DIR]]]" >&2
  exit 2
fi
sim=$1
build=$(cd "$2" && pwd) || exit 2
phases=$3
runs=${4:-200}
seed=${5:-1}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
shots=${6:-$here/../../build/screenshots}
# shellcheck source-path=SCRIPTDIR/../.. source=scripts/wine_env.sh
source "$here/../../scripts/wine_env.sh"

zvp=$build/tools/zvp.exe
driver=$build/tests/wine/journey_driver.exe
for f in "$zvp" "$driver"; do
  [ -f "$f" ] || { echo "no $f (build the win preset)" >&2; exit 2; }
done
[ -x "$sim" ] || { echo "no simulator at $sim" >&2; exit 2; }
mkdir -p "$shots" || exit 1
shots=$(cd "$shots" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-journey.XXXXXX") || exit 1
signal=$work/signal
mkdir -p "$signal"
# COM1 leads to this link, which each simulator started here points at its
# own terminal: the programmer can go and come back while Wine runs.
port_link=$work/com1
sim_pid=
sim_starts=0
# A second programmer, behind COM5, for the bench of two windows.
second_link=$work/com5
second_pid=

# shellcheck disable=SC2317  # called from the trap
cleanup() {
  zvp_wine_discard
  stop_sim
  if [ -n "$second_pid" ]; then
    kill "$second_pid" 2>/dev/null
    wait "$second_pid" 2>/dev/null
  fi
  rm -rf "$work"
}

stop_sim() {
  exec 3>&-
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
    sim_pid=
  fi
}

# A simulator on a fresh terminal; its control lines come from a pipe on
# descriptor 3, its replies go to $work/sim.out.
start_sim() {
  sim_starts=$((sim_starts + 1))
  rm -f "$work/ctl" "$work/sim.out"
  mkfifo "$work/ctl" || return 1
  "$sim" --link "$port_link" --seed "$((seed + sim_starts - 1))" <"$work/ctl" \
    >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  exec 3>"$work/ctl"
  for _ in $(seq 100); do
    [ -s "$work/sim.out" ] && [ -L "$port_link" ] && return 0
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the simulator gave no terminal" >&2
  cat "$work/sim.err" >&2
  return 1
}

# Hands a control line to the simulator and prints its reply line (none for
# the lines that have no reply).
ask_sim() {
  local line=$1 cmd before prefix
  cmd=${line%% *}
  case $cmd in
    reset | silent | short | quit) echo "$line" >&3; return 0 ;;
    random-fault) prefix="fault:" ;;
    *) prefix="$cmd:" ;;
  esac
  before=$(wc -l <"$work/sim.out")
  echo "$line" >&3
  for _ in $(seq 100); do
    local reply
    reply=$(tail -n +"$((before + 1))" "$work/sim.out" | grep -m1 "^$prefix")
    [ -n "$reply" ] && { echo "$reply"; return 0; }
    sleep 0.05
  done
  return 1
}

# Writes a request's answer where the driver waits for it: complete before
# the name appears.
answer() {
  printf '%s\n' "$2" >"$signal/$1.tmp"
  mv "$signal/$1.tmp" "$signal/$1.done"
}

trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started=$SECONDS
# A 32-bit build gets a 32-bit prefix, as on a 32-bit Windows; each run a
# new one of its own, so that the phases can run side by side.
arch=$(zvp_wine_arch_of "$zvp") || exit 2
zvp_wine_fresh_prefix "$arch" || exit 1
zvp_wine_driven_display || exit 1
echo "display $DISPLAY"
start_sim || exit 1
echo "virtual programmer on $(head -n 1 "$work/sim.out") behind $port_link"
"$sim" --link "$second_link" </dev/null >"$work/second.out" 2>"$work/second.err" &
second_pid=$!
for _ in $(seq 100); do
  [ -s "$work/second.out" ] && [ -L "$second_link" ] && break
  sleep 0.1
done
[ -L "$second_link" ] || { echo "the second simulator gave no terminal" >&2; exit 1; }
echo "second virtual programmer on $(head -n 1 "$work/second.out") behind $second_link"
# COM7 is a port beyond the window's four buttons, with the first programmer
# behind it as behind COM1; COM9 has nothing behind it.
zvp_wine_ports COM1="$port_link" COM2= COM3= COM4= COM5="$second_link" COM7="$port_link" COM9= ||
  exit 1

win_signal=$(winepath -w "$signal" 2>/dev/null)
win_zvp=$(winepath -w "$zvp" 2>/dev/null)

failed=0
drive() {
  local phase=$1 limit=$2 line name geometry request reply
  shift 2
  echo "== journey_driver $phase $*"
  : >"$work/status"
  while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line"
    case $line in
      "ASK shot "*)
        read -r _ _ name geometry <<<"$line"
        import -window root -crop "$geometry" +repage "$shots/$name.png" 2>/dev/null &&
          echo "# screenshot $shots/$name.png"
        answer shot ""
        ;;
      "ASK sim "*)
        request=${line#ASK sim }
        # Dumps are written into the signal directory, where the driver reads them.
        case $request in
          dump-chip\ * | dump-memory\ *) request="${request%% *} $signal/${request#* }" ;;
        esac
        reply=$(ask_sim "$request")
        echo "# sim: $reply"
        answer sim "$reply"
        ;;
      "ASK pull")
        stop_sim
        echo "# the programmer is pulled away"
        answer pull ""
        ;;
      "ASK return")
        start_sim && echo "# the programmer is back on $(head -n 1 "$work/sim.out")"
        answer return ""
        ;;
    esac
  done < <(
    timeout "$limit" wine "$driver" "$phase" "$win_zvp" "$win_signal" "$@" 2>"$work/driver.err"
    echo $? >"$work/status"
  )
  local status
  status=$(cat "$work/status")
  [ "$status" = 124 ] && echo "journey_driver $phase overran its time" >&2
  if [ "$status" = 0 ]; then echo "== $phase: ok"; else
    echo "== $phase: FAILED ($status)"
    failed=1
  fi
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  # The next phase meets a programmer as it starts up.
  if ! kill -0 "$sim_pid" 2>/dev/null || [ -z "$sim_pid" ]; then start_sim; fi
}

for phase in $phases; do
  case $phase in
    journey) drive journey 600 ;;
    anyport) drive anyport 300 ;;
    reliability) drive reliability $((120 + runs * 30)) "$runs" ;;
    *) echo "unknown phase $phase" >&2; exit 2 ;;
  esac
done

echo "screenshots in $shots"
echo "run took $((SECONDS - started)) s"
exit $failed
