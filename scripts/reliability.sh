#!/usr/bin/env bash
# The reliability run nobody has to watch: RUNS (default 200) auto-program
# runs of the window program under Wine, through COM1 to zvp-sim, which
# draws a fault for each run from SEED on (default: the time). After every
# run the driver checks that the window answered, the status text matches
# the fault, the counts add up and nothing crashed or hung; it prints a line
# every 10 runs and the totals at the end. About 3.5 s a run.
#
#   bash scripts/reliability.sh [RUNS [SEED]]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-200}
seed=${2:-$(date +%s)}
bash scripts/build.sh >/dev/null
echo "== $runs runs, seed $seed"
exec bash tests/wine/run_journey.sh build/native/tools/zvp-sim build/win reliability "$runs" "$seed"
