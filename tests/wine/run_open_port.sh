#!/usr/bin/env bash
# Runs open_port_test.exe under Wine against the virtual programmer.
#
#   run_open_port.sh ZVP_SIM_PATH WIN_BUILD_DIR [-- program arguments]
#
# The simulator serves a pseudo-terminal; COM1 and COM12 of a new Wine
# prefix of this run's own are pointed at it and COM4 at nothing. Exits with
# the test program's status (124 when it overran its time limit).
set -u

if [ $# -lt 2 ]; then
  echo "usage: $0 ZVP_SIM_PATH WIN_BUILD_DIR [-- program arguments]" >&2
  exit 2
fi
sim=$1
build=$2
shift 2
[ "${1:-}" = "--" ] && shift

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR/../.. source=scripts/wine_env.sh
source "$here/../../scripts/wine_env.sh"
# shellcheck source=tests/support/start_sim.sh
source "$here/../support/start_sim.sh"

exe=$build/tests/wine/open_port_test.exe
[ -x "$sim" ] || { echo "no simulator at $sim" >&2; exit 2; }
[ -f "$exe" ] || { echo "no test program at $exe (build the win preset)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-open-port.XXXXXX") || exit 1
# Wine goes first: the wine server may hold the terminal as its controlling
# one, and a hang-up from the simulator's end makes it dump its object table.
# shellcheck disable=SC2317  # called from the trap
cleanup() {
  zvp_wine_discard
  zvp_sim_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started_ms=$(($(date +%s%N) / 1000000))
# A 32-bit build gets a 32-bit prefix of its own, as on a 32-bit Windows.
arch=$(zvp_wine_arch_of "$exe") || exit 2
zvp_wine_fresh_prefix "$arch" || exit 1
# A console program needs no display; without one Wine does not try X.
zvp_wine_headless

# The simulator's first line is its terminal's path.
zvp_sim_start "$sim" "$work" || exit 1
pty=$ZVP_SIM_PTY
echo "simulator on $pty"

zvp_wine_ports COM1="$pty" COM12="$pty" COM4= || exit 1

timeout 120 wine "$exe" "$@"
status=$?
[ $status -eq 124 ] && echo "open_port_test.exe did not finish within 120 s" >&2
elapsed_ms=$(($(date +%s%N) / 1000000 - started_ms))
printf 'run took %d.%03d s\n' $((elapsed_ms / 1000)) $((elapsed_ms % 1000))
exit $status
