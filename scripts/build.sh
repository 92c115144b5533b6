#!/usr/bin/env bash
# Builds the Windows programs (mingw-w64), the Linux tree (core, tests,
# tools) and, for the concurrency tests, the Linux tests under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win >/dev/null
cmake --build --preset win
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target zvp_tests
cmake --preset native -DZVP_WIN_BUILD_DIR="$PWD/build/win" -DZVP_TSAN_BUILD_DIR="$PWD/build/tsan" >/dev/null
cmake --build --preset native
