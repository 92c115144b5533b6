#!/usr/bin/env bash
# The main job on the virtual programmer: builds everything, starts zvp-sim
# on a pseudo-terminal and connects the command line to it, showing the
# window's status texts, its state and the wire trace of the exchange.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
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
