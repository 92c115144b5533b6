#!/usr/bin/env bash
# Builds the Windows programs (mingw-w64) and the Linux tree (core, tests,
# tools).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win >/dev/null
cmake --build --preset win
cmake --preset native -DZVP_WIN_BUILD_DIR="$PWD/build/win" >/dev/null
cmake --build --preset native
