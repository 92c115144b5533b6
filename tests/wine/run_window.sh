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
# shellcheck source=tests/support/start_sim.sh
source "$here/../support/start_sim.sh"

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
# Wine first: its server may hold the simulator's terminal.
# shellcheck disable=SC2317  # called from the trap
cleanup() {
  zvp_wine_discard
  zvp_sim_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started=$SECONDS
# A 32-bit build gets a 32-bit prefix, as on a 32-bit Windows; each run a
# new one of its own, so that Wine tests can run side by side.
arch=$(zvp_wine_arch_of "$zvp") || exit 2
zvp_wine_fresh_prefix "$arch" || exit 1
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

zvp_sim_start "$sim" "$work" || exit 1
pty=$ZVP_SIM_PTY
echo "virtual programmer on $pty"
zvp_wine_ports COM1="$pty" COM2= COM3= COM4= || exit 1

signal=$work/signal
mkdir -p "$signal"
win_signal=$(winepath -w "$signal" 2>/dev/null)
win_zvp=$(winepath -w "$zvp" 2>/dev/null)

run_units

# Two windows on one PC write the same day's production log at once
# (window_units_test.exe log-writer: the window's own DailyProductionLog),
# both starting on a new file: every line lands whole and parseable, none
# is lost, and the file has one byte-order mark and one header, at its
# start. Three new files.
shared_log_ok() {
  local folder=$1 lines=$2 f found=0 bad=0
  for f in "$folder"/*.csv; do
    [ -f "$f" ] || { echo "no day file in $folder"; return 1; }
    [ "$(head -c 3 "$f" | od -An -tx1 | tr -d ' \n')" = efbbbf ] || { echo "$f: no mark at the start"; bad=1; }
    [ "$(grep -ac $'\xEF\xBB\xBF' "$f")" -eq 1 ] || { echo "$f: a second mark"; bad=1; }
    [ "$(grep -ac '^.*时间,端口,芯片,' "$f")" -eq 1 ] || { echo "$f: not one header"; bad=1; }
    [ "$(tail -c 2 "$f" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || { echo "$f: ends in half a line"; bad=1; }
    tail -n +2 "$f" >"$work/lines"
    found=$((found + $(wc -l <"$work/lines")))
    if grep -avqE $'^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},COM[12],MTP,.*,"板,""A"".hex",.*,自动编程已成功完成,[0-9]+,0\r$' "$work/lines"; then
      echo "$f: a line that is not whole:"
      grep -avE $'^[0-9-]{10} [0-9:]{8},COM[12],MTP,.*,"板,""A"".hex",.*,自动编程已成功完成,[0-9]+,0\r$' "$work/lines" | head -3 | cat -v
      bad=1
    fi
    # Every line alike but for its time, port and count.
    [ "$(cut -c25- "$work/lines" | sed -E 's/,[0-9]+,0\r$//' | sort -u | wc -l)" -le 1 ] ||
      { echo "$f: lines that differ in their fields"; bad=1; }
    cut -c21-24 "$work/lines" | paste -d' ' - <(sed -E 's/.*,([0-9]+),0\r$/\1/' "$work/lines")
  done >"$work/pairs"
  grep -av '^COM[12] [0-9]*$' "$work/pairs"
  local unique
  unique=$(grep -ac '^COM[12] [0-9]*$' <(sort -u "$work/pairs"))
  echo "$((2 * lines)) lines written, $found found, $unique different"
  [ $bad -eq 0 ] && [ "$found" -eq $((2 * lines)) ] && [ "$unique" -eq $((2 * lines)) ]
}
log_lines=300
log_failed=0
for round in 1 2 3; do
  logs=$work/logs$round
  mkdir -p "$logs"
  win_logs=$(winepath -w "$logs" 2>/dev/null)
  timeout 120 wine "$units" log-writer "$win_logs" COM1 $log_lines >"$work/writer1" 2>/dev/null &
  writer1=$!
  timeout 120 wine "$units" log-writer "$win_logs" COM2 $log_lines >"$work/writer2" 2>/dev/null &
  writer2=$!
  for _ in $(seq 600); do
    grep -q ready "$work/writer1" && grep -q ready "$work/writer2" && break
    sleep 0.1
  done
  go_ms=$(date +%s%3N)
  : >"$logs/go"
  wait $writer1
  status1=$?
  wait $writer2
  status2=$?
  echo "round $round: both writers done in $(($(date +%s%3N) - go_ms)) ms (exit $status1 $status2)"
  tr -d '\r' <"$work/writer1" | grep -v '^ready$'
  tr -d '\r' <"$work/writer2" | grep -v '^ready$'
  rm -f "$logs/go"
  shared_log_ok "$logs" $log_lines || log_failed=1
  [ $status1 -eq 0 ] && [ $status2 -eq 0 ] || log_failed=1
done
result "two windows share the day's production log" $log_failed

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
          kill -USR1 "$ZVP_SIM_PID" 2>/dev/null
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
