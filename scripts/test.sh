#!/usr/bin/env bash
# Runs every test: the unit tests of the core, the POSIX adapter on real
# pseudo-terminals, the Windows programs under Wine against the virtual
# programmer, and the release packages installed as a user would. ctest
# prints the closing count.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
# The release packages, for the tests that install them as a user would.
bash scripts/package.sh
cmake --preset native -DZVP_DIST_DIR="$PWD/dist" >/dev/null
ctest --test-dir build/native --output-on-failure -j2 "$@"
