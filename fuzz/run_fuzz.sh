#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time on a copy of its seed corpus
# (the corpus in the tree is never changed; what the run finds is thrown
# away). Inputs that crash are kept in ARTIFACT_DIR.
# Usage: run_fuzz.sh TARGET CORPUS_DIR SECONDS [ARTIFACT_DIR] [libFuzzer options...]
set -euo pipefail
target=$1
corpus=$2
seconds=$3
artifacts=${4:-$PWD/fuzz-artifacts}
shift $(( $# < 4 ? $# : 4 ))

# The target writes every input to a file; on a memory file system that costs
# a sixth of what it costs on a disk that flushes rewritten files.
scratch_root=${TMPDIR:-/tmp}
if [ -d /dev/shm ] && [ -w /dev/shm ]; then scratch_root=/dev/shm; fi
work=$(mktemp -d -p "$scratch_root")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/tmp" "$artifacts"
cp -R "$corpus"/. "$work/corpus/"

# TMPDIR: the target's scratch files go with the copy.
TMPDIR="$work/tmp" "$target" "$work/corpus" \
  -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=1024 \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$@"
