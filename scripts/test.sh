#!/usr/bin/env bash
# Runs every test: the unit tests of the core, the POSIX adapter on real
# pseudo-terminals, the Windows programs under Wine against the virtual
# programmer, and the release packages installed as a user would. ctest
# prints the closing count.
#
#   bash scripts/test.sh            everything (what CI runs)
#   bash scripts/test.sh --quick    the Linux tree alone: unit, command-line
#                                   and pseudo-terminal tests, a few minutes;
#                                   for the edit-build-test loop, not a
#                                   substitute for the whole run
# Further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--quick" ]; then
  shift
  bash scripts/setup.sh
  cmake --preset native >/dev/null
  cmake --build --preset native
  ctest --preset native -j2 -LE 'wine|fuzz|package|tsan' "$@"
  exit
fi
bash scripts/build.sh
# The release packages, for the tests that install them as a user would:
# scripts/package.sh runs as the first test (package_release), beside the
# others. Six at a time: the Wine tests mostly wait on their programs.
cmake --preset native -DZVP_DIST_DIR="$PWD/dist" >/dev/null
ctest --test-dir build/native --output-on-failure -j6 "$@"
