#!/usr/bin/env bash
# Builds the Windows programs (mingw-w64), their 32-bit build with what its
# Wine tests run, and the Linux tree (core, tests, tools), told where the
# ThreadSanitizer and fuzz trees (clang, libFuzzer) go: their tests build
# them first (ctest -R 'tsan_|fuzz_'), beside the Wine tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win >/dev/null
cmake --build --preset win
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target zvp zvp-cli window_units_test
cmake --preset native -DZVP_WIN_BUILD_DIR="$PWD/build/win" -DZVP_WIN32_BUILD_DIR="$PWD/build/win32" \
  -DZVP_TSAN_BUILD_DIR="$PWD/build/tsan" -DZVP_FUZZ_BUILD_DIR="$PWD/build/fuzz" >/dev/null
cmake --build --preset native
