#!/usr/bin/env bash
# The main job on the virtual programmer: builds everything, starts zvp-sim
# on a pseudo-terminal and runs the connect exchange against it, printing the
# wire trace.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
out=$(mktemp)
./build/native/tools/zvp-sim >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 50); do [ -s "$out" ] && break; sleep 0.1; done
pty=$(head -n1 "$out")
echo "virtual programmer on $pty"
./build/native/tools/zvp-linkcheck "$pty"
