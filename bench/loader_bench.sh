#!/usr/bin/env bash
# Loading a HEX file of 1 MiB (segment records, written by srec_cat) with the
# code file loader, side by side with srec_cat converting the same file to a
# binary image. Both run as whole processes RUNS times; the medians and their
# ratio are printed, then the loader's own time per load in the process.
#
#   bench/loader_bench.sh [RUNS]       (build directory: $BENCH_BUILD_DIR,
#                                        default build/native)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-9}
build=${BENCH_BUILD_DIR:-build/native}

cmake --preset native -B "$build" >/dev/null
cmake --build "$build" --target loader_bench >/dev/null
bench="$build/bench/loader_bench"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 32 KiB of code (all an operation reaches) and erased bytes up to 1 MiB, as
# a padded image: data above 0x7FFF would be refused, erased bytes are not.
head -c 32768 /dev/urandom >"$work/data.bin"
srec_cat "$work/data.bin" -binary -fill 0xFF 0x8000 0x100000 -o "$work/code.hex" -intel \
  -address-length=3
echo "file: $(stat -c %s "$work/code.hex") bytes of HEX text," \
  "$(grep -c '^:' "$work/code.hex") records, $(grep -c '^:02000002' "$work/code.hex") segment records"

# Median wall time of a command in milliseconds over $runs runs.
median_ms() {
  local times=()
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    "$@" >/dev/null
    t1=$(date +%s%N)
    times+=($(( (t1 - t0) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

srec_ms=$(median_ms srec_cat "$work/code.hex" -intel -o "$work/out.bin" -binary)
loader_ms=$(median_ms "$bench" "$work/code.hex" 1)
echo "srec_cat (convert to binary): median ${srec_ms} ms per process"
echo "loader   (load into buffer):  median ${loader_ms} ms per process"
awk -v s="$srec_ms" -v l="$loader_ms" 'BEGIN {printf "ratio srec_cat / loader: %.1f (above 1: the loader is faster)\n", s / l}'
"$bench" "$work/code.hex" 21 "$work/out.bin"
