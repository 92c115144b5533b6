#!/usr/bin/env bash
# Installs what the build, the tests and the Windows run need, with apt-get,
# only when something is missing: quick when all is there, safe to repeat.
#
#   bash scripts/setup.sh        everything: the builds, the tests, the release
#   bash scripts/setup.sh run    what scripts/run.sh needs: the Linux tree
#                                (its configuration finds the test tools), the
#                                64-bit Windows program and Wine on Xvfb
set -euo pipefail

run_packages=(
  build-essential cmake ninja-build git
  libgtest-dev python3
  g++-mingw-w64-x86-64 wine64 wine fonts-wine
  xvfb x11-utils xdotool imagemagick fonts-wqy-microhei fonts-dejavu-core
)
# wine32:i386 runs the 32-bit Windows build and the installer (a 32-bit
# program) under Wine; it needs the i386 architecture enabled first.
test_packages=(
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 wine32:i386
  socat srecord nsis help2man zip unzip locales debootstrap
)
case ${1:-all} in
  all) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  run) packages=("${run_packages[@]}") ;;
  *) echo "usage: $0 [run]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
