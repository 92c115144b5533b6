# shellcheck shell=bash
# zvp-sim for the test scripts, on a pseudo-terminal of its own. Source it
# (bash), then:
#
#   zvp_sim_start SIM WORK [OPTIONS...]
#       starts SIM with OPTIONS (stopping the one started before), its
#       output in WORK/sim.out and WORK/sim.err; once it has printed its
#       terminal's path (its first line) sets ZVP_SIM_PTY to it and
#       ZVP_SIM_PID to its process
#   zvp_sim_stop
#       ends it; safe to call when none runs
#
# Both return non-zero on failure and say why on stderr; neither exits the
# caller. Stop Wine before the simulator: the wine server may hold the
# terminal as its controlling one, and a hang-up from the simulator's end
# makes it dump its object table.
ZVP_SIM_PID=
ZVP_SIM_PTY=

zvp_sim_start() {
  local sim=$1 work=$2
  shift 2
  zvp_sim_stop
  [ -x "$sim" ] || { echo "no simulator at $sim" >&2; return 2; }
  "$sim" "$@" >"$work/sim.out" 2>"$work/sim.err" </dev/null &
  ZVP_SIM_PID=$!
  ZVP_SIM_PTY=
  for _ in $(seq 100); do
    if [ "$(wc -l <"$work/sim.out")" -ge 1 ]; then
      ZVP_SIM_PTY=$(head -n 1 "$work/sim.out")
      break
    fi
    kill -0 "$ZVP_SIM_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$ZVP_SIM_PTY" ] || [ ! -c "$ZVP_SIM_PTY" ]; then
    echo "the simulator gave no terminal (first line: '$ZVP_SIM_PTY')" >&2
    cat "$work/sim.err" >&2
    return 1
  fi
}

zvp_sim_stop() {
  if [ -n "$ZVP_SIM_PID" ]; then
    kill "$ZVP_SIM_PID" 2>/dev/null
    wait "$ZVP_SIM_PID" 2>/dev/null
    ZVP_SIM_PID=
  fi
  return 0
}
