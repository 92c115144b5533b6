#!/usr/bin/env bash
# Runs every test: the unit tests of the core, the POSIX adapter on real
# pseudo-terminals, and the Windows programs under Wine against the virtual
# programmer. ctest prints the closing count.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
ctest --test-dir build/native --output-on-failure -j2 "$@"
