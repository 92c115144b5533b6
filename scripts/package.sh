#!/usr/bin/env bash
# Builds the release in release mode and writes it to dist/:
#
#   zvp-VERSION-win64.zip         zvp.exe, zvp-cli.exe, the guide, a read-me
#   zvp-VERSION-win32.zip         the same, built for 32-bit Windows
#   zvp-VERSION-setup.exe         both, as one installer (NSIS, Chinese) that
#                                 installs the build that fits the PC
#   zvp_VERSION_amd64.deb         zvp, zvp-sim and zvp-linkcheck for Debian
#   SHA256SUMS                    of the four
#
# VERSION is the CMake project version. The guide's pictures are taken again
# from the window program being packaged (scripts/guide_pictures.sh), so the
# guide always shows the window that ships with it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
started=$SECONDS
bash scripts/setup.sh

step() { echo "== package: $* ($((SECONDS - started)) s)"; }

step "Windows programs (mingw-w64, Release)"
cmake --preset win >/dev/null
cmake --build --preset win --target zvp zvp-cli guide_driver
step "32-bit Windows programs (mingw-w64, Release)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target zvp zvp-cli
step "Linux programs (Release)"
cmake --preset release >/dev/null
cmake --build --preset release
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
[ -n "$version" ] || { echo "package: no project version in build/release" >&2; exit 1; }
win=$root/build/win
win32=$root/build/win32
linux=$root/build/release

stage=$root/build/package
dist=$root/dist
rm -rf "$stage"
mkdir -p "$stage" "$dist"
rm -f "$dist"/zvp-*-win64.zip "$dist"/zvp-*-win32.zip "$dist"/zvp-*-setup.exe "$dist"/zvp_*_amd64.deb \
  "$dist"/SHA256SUMS

step "the guide's pictures"
ZVP_WIN_BUILD=$win ZVP_SIM=$linux/tools/zvp-sim bash scripts/guide_pictures.sh "$stage/pictures" |
  grep -v '^PASS\|^ASK'

# --- Windows: the files, the two zips and the installer -----------------------
# One folder per build, zipped as it is; the installer takes both.
step "zips"
stage_windows() {
  local bits=$1 build=$2 strip=$3
  local files=$stage/zvp-$version-win$bits
  mkdir -p "$files"
  for program in zvp.exe zvp-cli.exe; do
    "$strip" -o "$files/$program" "$build/tools/$program"
  done
  bash packaging/inline_pictures.sh docs/guide/index.html "$stage/pictures" "$files/zvp-guide.html"
  cp docs/guide/engineers.html "$files/zvp-engineers.html"
  # The read-me as Notepad reads it best: UTF-8 with a byte-order mark, CRLF.
  {
    printf '\xef\xbb\xbf'
    sed -e "s/@VERSION@/$version/g" -e "s/@BITS@/$bits/g" -e 's/$/\r/' packaging/README.txt
  } >"$files/README.txt"
  (cd "$stage" && zip -q -r -X -9 "$dist/zvp-$version-win$bits.zip" "zvp-$version-win$bits")
}
stage_windows 64 "$win" x86_64-w64-mingw32-strip
stage_windows 32 "$win32" i686-w64-mingw32-strip

step "installer"
setup=zvp-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE64="$stage/zvp-$version-win64" \
  -DSTAGE32="$stage/zvp-$version-win32" -DOUTFILE="$dist/$setup" \
  -DICON="$root/windows/zvp.ico" packaging/windows/zvp.nsi

# --- Debian ---------------------------------------------------------------
step "Debian package"
deb=$stage/deb
install -d "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/share/man/man1" "$deb/usr/share/doc/zvp"
for program in zvp zvp-sim zvp-linkcheck; do
  install -m 0755 -s "$linux/tools/$program" "$deb/usr/bin/$program"
done
help2man --no-info --no-discard-stderr --section 1 \
  --name "control program for the ZVP-V2.0C serial device programmer" \
  "$deb/usr/bin/zvp" | gzip -9n >"$deb/usr/share/man/man1/zvp.1.gz"
install -m 0644 packaging/debian/copyright "$deb/usr/share/doc/zvp/copyright"
install -m 0644 docs/guide/engineers.html "$deb/usr/share/doc/zvp/engineers.html"
# The libraries the programs link, as dpkg-shlibdeps finds them; it wants to
# stand in a source tree, so it gets a minimal one.
mkdir -p "$stage/shlibs/debian"
echo "Source: zvp" >"$stage/shlibs/debian/control"
depends=$(cd "$stage/shlibs" && dpkg-shlibdeps -O \
  "$deb/usr/bin/zvp" "$deb/usr/bin/zvp-sim" "$deb/usr/bin/zvp-linkcheck" |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
size=$(du -sk --exclude=DEBIAN "$deb" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@DEPENDS@/$depends/" -e "s/@INSTALLED_SIZE@/$size/" \
  packaging/debian/control.in >"$deb/DEBIAN/control"
dpkg-deb --root-owner-group -Zxz --build "$deb" "$dist/zvp_${version}_amd64.deb" >/dev/null

(cd "$dist" && sha256sum "zvp-$version-win64.zip" "zvp-$version-win32.zip" "$setup" \
  "zvp_${version}_amd64.deb" >SHA256SUMS)
step "done"
ls -l "$dist"
