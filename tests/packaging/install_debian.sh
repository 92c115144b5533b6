#!/usr/bin/env bash
# The Debian package installed as a user would, in a bare Debian 12 root:
# `apt install ./zvp_VERSION_amd64.deb` finds what it declares, zvp runs
# there (its version, the built-in programmer), and removing the package
# takes its programs away.
#
#   install_debian.sh DIST_DIR VERSION CACHE_DIR
#   install_debian.sh --root-only CACHE_DIR
#
# The bare root is made once with debootstrap (minbase, from Debian's
# mirror; ZVP_DEBIAN_MIRROR overrides it) and kept in CACHE_DIR; every run
# works on a copy. --root-only makes it and ends: the tests make it while the
# packages are still being built. chroot needs root: as anyone else the test
# is skipped (exit 77).
set -u
root_only=
if [ "${1:-}" = --root-only ] && [ $# -eq 2 ]; then
  root_only=1
  set -- "" "" "$2"
elif [ $# -ne 3 ]; then
  echo "usage: $0 DIST_DIR VERSION CACHE_DIR | --root-only CACHE_DIR" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing into a Debian root needs root (chroot); run the tests as root"
  exit 77
fi
mkdir -p "$3" || exit 2
cache=$(cd "$3" && pwd)/bookworm-minbase
mirror=${ZVP_DEBIAN_MIRROR:-http://deb.debian.org/debian}

started=$SECONDS
if [ ! -f "$cache/.zvp-root-ready" ]; then
  echo "making a bare Debian 12 root in $cache (once)"
  rm -rf "$cache"
  debootstrap --variant=minbase bookworm "$cache" "$mirror" >"$cache.log" 2>&1 || {
    tail -n 20 "$cache.log" >&2
    echo "debootstrap failed" >&2
    exit 1
  }
  touch "$cache/.zvp-root-ready"
fi
if [ -n "$root_only" ]; then
  echo "bare Debian 12 root ready in $cache ($((SECONDS - started)) s)"
  exit 0
fi
dist=$(cd "$1" && pwd) || exit 2
version=$2
deb=zvp_${version}_amd64.deb

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-debroot.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
root=$work/root
cp -a "$cache" "$root" || exit 1
cp "$dist/$deb" "$root/tmp/" || exit 1
echo "root ready in $((SECONDS - started)) s"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }

in_root apt-get install -y "/tmp/$deb" >"$work/apt.log" 2>&1
status=$?
check "apt installs ./$deb into bare Debian 12 (exit $status)" test "$status" -eq 0
[ "$status" -eq 0 ] || tail -n 20 "$work/apt.log"
check "dpkg counts zvp $version as installed" \
  bash -c "[ \"\$(chroot '$root' dpkg-query -W -f='\${Status} \${Version}' zvp)\" = 'install ok installed $version' ]"
check "zvp --version says zvp $version" bash -c "[ \"\$(chroot '$root' zvp --version)\" = 'zvp $version' ]"
in_root zvp --simulate connect >"$work/connect.txt" 2>&1
status=$?
check "zvp --simulate connect passes there (exit $status)" \
  bash -c "[ $status -eq 0 ] && grep -qx 'OK, 已检测到 ZVP-V2.0C 连接在端口 COM1' '$work/connect.txt'"
check "zvp-sim and zvp-linkcheck are on the path" \
  test -x "$root/usr/bin/zvp-sim" -a -x "$root/usr/bin/zvp-linkcheck"

in_root apt-get remove -y zvp >"$work/remove.log" 2>&1
check "apt removes it, and its programs with it" \
  bash -c "grep -q '^Removing zvp ($version)' '$work/remove.log' && [ ! -e '$root/usr/bin/zvp' ] && [ ! -e '$root/usr/bin/zvp-sim' ] && [ ! -e '$root/usr/bin/zvp-linkcheck' ]"

echo "run took $((SECONDS - started)) s"
checks_summary "debian install"
