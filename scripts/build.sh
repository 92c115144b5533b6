#!/usr/bin/env bash
# Builds the Windows programs (mingw-w64), their 32-bit build with what its
# Wine tests run, the Linux tree (core, tests, tools), for the concurrency
# tests the Linux tests under ThreadSanitizer, and the fuzz targets (clang,
# libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win >/dev/null
cmake --build --preset win
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target zvp zvp-cli window_units_test
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target zvp_tests
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
cmake --preset native -DZVP_WIN_BUILD_DIR="$PWD/build/win" -DZVP_WIN32_BUILD_DIR="$PWD/build/win32" \
  -DZVP_TSAN_BUILD_DIR="$PWD/build/tsan" -DZVP_FUZZ_BUILD_DIR="$PWD/build/fuzz" >/dev/null
cmake --build --preset native
