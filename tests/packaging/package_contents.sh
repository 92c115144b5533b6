#!/usr/bin/env bash
# What scripts/package.sh wrote to dist/, looked at without installing it:
# the file names and checksums, the zip's files, the guide made whole, the
# version in every place that carries it, and the Debian package's contents.
#
#   package_contents.sh DIST_DIR VERSION SOURCE_DIR
set -u
[ $# -eq 3 ] || { echo "usage: $0 DIST_DIR VERSION SOURCE_DIR" >&2; exit 2; }
dist=$(cd "$1" && pwd) || exit 2
version=$2
source_dir=$(cd "$3" && pwd) || exit 2
zip=zvp-$version-win64.zip
setup=zvp-$version-win64-setup.exe
deb=zvp_${version}_amd64.deb

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-contents.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

check "dist holds the zip, the installer and the package named with $version" \
  test -f "$dist/$zip" -a -f "$dist/$setup" -a -f "$dist/$deb"
check "SHA256SUMS covers the three and matches them" \
  bash -c "cd '$dist' && [ \$(wc -l <SHA256SUMS) -eq 3 ] && sha256sum --strict -c SHA256SUMS"

# --- the zip ----------------------------------------------------------------
unzip -q "$dist/$zip" -d "$work/zip"
top=$work/zip/zvp-$version-win64
check "the zip holds zvp.exe, zvp-cli.exe, the guide, the engineers' page and the read-me" \
  bash -c "cd '$work/zip' && [ \"\$(find . -type f | sort | tr '\n' ' ')\" = \
'./zvp-$version-win64/README.txt ./zvp-$version-win64/zvp-cli.exe ./zvp-$version-win64/zvp-engineers.html ./zvp-$version-win64/zvp-guide.html ./zvp-$version-win64/zvp.exe ' ]"

# The guide: every picture of the source is embedded, and each one is a PNG.
guide=$top/zvp-guide.html
want=$(grep -o 'src="pictures/[^"]*"' "$source_dir/docs/guide/index.html" | wc -l)
grep -o 'src="data:image/png;base64,[^"]*"' "$guide" >"$work/uris"
check "the guide embeds all $want pictures of its source" test "$(wc -l <"$work/uris")" -eq "$want"
check "the guide refers to no file beside it" bash -c "! grep -q 'src=\"pictures/' '$guide'"
# Every link of the guide to a page of its own lands on a file beside it in
# the zip (the engineers' page ships under another name than in the tree).
links=$(grep -o 'href="[^"#:]*' "$guide" | sed 's/^href="//' | sort -u)
check "the guide links the engineers' page by its shipped name" \
  bash -c "printf '%s\n' '$links' | grep -qx zvp-engineers.html"
missing_links=0
for link in $links; do
  [ -f "$top/$link" ] || missing_links=$((missing_links + 1))
done
check "every page the guide links to is beside it in the zip" test "$missing_links" -eq 0
bad=0
while IFS= read -r uri; do
  uri=${uri#src=\"data:image/png;base64,}
  printf '%s' "${uri%\"}" | base64 -d 2>/dev/null | head -c 8 | cmp -s - <(printf '\x89PNG\r\n\x1a\n') ||
    bad=$((bad + 1))
done <"$work/uris"
check "every embedded picture decodes to a PNG" test "$bad" -eq 0 -a "$want" -gt 0

check "the read-me names $version and starts with a UTF-8 byte-order mark" \
  bash -c "head -c 3 '$top/README.txt' | cmp -s - <(printf '\xef\xbb\xbf') && grep -q 'ZVP-V2.0C .* $version' '$top/README.txt'"

# --- the version in the Windows programs and the installer ---------------
strings -el "$top/zvp.exe" >"$work/zvp.strings"
check "zvp.exe's version resource says $version.0 (file and product)" \
  bash -c "grep -A1 -x 'FileVersion' '$work/zvp.strings' | grep -qx '$version.0' && grep -A1 -x 'ProductVersion' '$work/zvp.strings' | grep -qx '$version.0'"
check "zvp.exe's manifest says $version.0" \
  grep -aq "assemblyIdentity version=\"$version.0\"" "$top/zvp.exe"
strings -el "$dist/$setup" >"$work/setup.strings"
check "the installer's version resource says $version.0" \
  bash -c "grep -A1 -x 'ProductVersion' '$work/setup.strings' | grep -qx '$version.0'"

# --- the Debian package -----------------------------------------------------
check "the package is zvp $version for amd64" \
  bash -c "[ \"\$(dpkg-deb -f '$dist/$deb' Package Version Architecture)\" = \"Package: zvp
Version: $version
Architecture: amd64\" ]"
check "it declares the C and C++ runtime libraries it links" \
  bash -c "dpkg-deb -f '$dist/$deb' Depends | grep -q 'libc6 (>=' && dpkg-deb -f '$dist/$deb' Depends | grep -q 'libstdc++6 (>='"
dpkg-deb -c "$dist/$deb" | awk '{print $6}' >"$work/deb.list"
for f in ./usr/bin/zvp ./usr/bin/zvp-sim ./usr/bin/zvp-linkcheck ./usr/share/man/man1/zvp.1.gz \
  ./usr/share/doc/zvp/copyright; do
  check "the package holds $f" grep -qx "$f" "$work/deb.list"
done
dpkg-deb -x "$dist/$deb" "$work/deb"
check "the manual page is zvp's, version $version, with its options" \
  bash -c "zcat '$work/deb/usr/share/man/man1/zvp.1.gz' | grep -q '^.TH ZVP \"1\" .* \"zvp $version\"' && zcat '$work/deb/usr/share/man/man1/zvp.1.gz' | grep -q 'simulate'"

checks_summary "package contents"
