#!/usr/bin/env bash
# What scripts/package.sh wrote to dist/, looked at without installing it:
# the file names and checksums, the two zips' files, the guide made whole,
# the version in every place that carries it, the Windows versions the
# programs claim (PE headers, manifest) and the functions they import, and
# the Debian package's contents.
#
#   package_contents.sh DIST_DIR VERSION SOURCE_DIR
set -u
[ $# -eq 3 ] || { echo "usage: $0 DIST_DIR VERSION SOURCE_DIR" >&2; exit 2; }
dist=$(cd "$1" && pwd) || exit 2
version=$2
source_dir=$(cd "$3" && pwd) || exit 2
setup=zvp-$version-setup.exe
deb=zvp_${version}_amd64.deb

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-contents.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

check "dist holds the two zips, the installer and the package named with $version" \
  test -f "$dist/zvp-$version-win64.zip" -a -f "$dist/zvp-$version-win32.zip" -a -f "$dist/$setup" -a -f "$dist/$deb"
check "SHA256SUMS covers the four and matches them" \
  bash -c "cd '$dist' && [ \$(wc -l <SHA256SUMS) -eq 4 ] && sha256sum --strict -c SHA256SUMS"

# --- the zips ---------------------------------------------------------------
for bits in 64 32; do
  name=zvp-$version-win$bits
  unzip -q "$dist/$name.zip" -d "$work/zip$bits"
  check "the win$bits zip holds $name/ with zvp.exe, zvp-cli.exe, the guide, the engineers' page and the read-me" \
    bash -c "cd '$work/zip$bits' && [ \"\$(find . -type f | sort | tr '\n' ' ')\" = \
'./$name/README.txt ./$name/zvp-cli.exe ./$name/zvp-engineers.html ./$name/zvp-guide.html ./$name/zvp.exe ' ]"
  check "the win$bits read-me names $version and the $bits-bit build, and starts with a UTF-8 byte-order mark" \
    bash -c "head -c 3 '$work/zip$bits/$name/README.txt' | cmp -s - <(printf '\xef\xbb\xbf') && grep -q 'ZVP-V2.0C .* $version (Windows $bits 位)' '$work/zip$bits/$name/README.txt'"
done
top=$work/zip64/zvp-$version-win64
top32=$work/zip32/zvp-$version-win32
check "both zips carry the same guide and engineers' page" \
  bash -c "cmp -s '$top/zvp-guide.html' '$top32/zvp-guide.html' && cmp -s '$top/zvp-engineers.html' '$top32/zvp-engineers.html'"

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

# --- the version in the Windows programs and the installer ---------------
for dir in "$top" "$top32"; do
  build=${dir##*-}
  strings -el "$dir/zvp.exe" >"$work/zvp.strings"
  check "the $build zvp.exe's version resource says $version.0 (file and product)" \
    bash -c "grep -A1 -x 'FileVersion' '$work/zvp.strings' | grep -qx '$version.0' && grep -A1 -x 'ProductVersion' '$work/zvp.strings' | grep -qx '$version.0'"
done
check "the win64 zvp.exe's manifest says $version.0 for amd64" \
  grep -aq "assemblyIdentity version=\"$version.0\" processorArchitecture=\"amd64\"" "$top/zvp.exe"
check "the win32 zvp.exe's manifest says $version.0 for x86" \
  grep -aq "assemblyIdentity version=\"$version.0\" processorArchitecture=\"x86\"" "$top32/zvp.exe"
strings -el "$dist/$setup" >"$work/setup.strings"
check "the installer's version resource says $version.0" \
  bash -c "grep -A1 -x 'ProductVersion' '$work/setup.strings' | grep -qx '$version.0'"

# --- the Windows versions the programs run on ----------------------------------
# The read-me and the guide promise Windows 7 SP1, 8, 8.1, 10 and 11. Each
# program's PE headers say 6.1 (Windows 7) for the oldest Windows and
# subsystem; the window program's manifest names exactly those versions
# (the Windows 10 entry stands for 11 too); and no program, the installer
# included, imports a function outside packaging/windows/windows7_imports.txt,
# the functions Windows 7 SP1 has (32- and 64-bit: msvcrt.dll, no UCRT).
objdump64=x86_64-w64-mingw32-objdump
objdump32=i686-w64-mingw32-objdump
pe_field() { "$1" -p "$2" | awk -v f="$3" '$1 == f { print $2 }'; }
for exe in "$top/zvp.exe" "$top/zvp-cli.exe" "$top32/zvp.exe" "$top32/zvp-cli.exe"; do
  case $exe in "$top"/*) objdump=$objdump64 bits=64 ;; *) objdump=$objdump32 bits=32 ;; esac
  what="the win$bits $(basename "$exe")"
  check "$what is a $bits-bit program" \
    bash -c "$objdump -f '$exe' | grep -q 'file format pei-$([ $bits = 64 ] && echo x86-64 || echo i386)'"
  check "$what's PE headers say Windows 6.1 (OS and subsystem version)" \
    test "$(pe_field $objdump "$exe" MajorOSystemVersion).$(pe_field $objdump "$exe" MinorOSystemVersion) $(pe_field $objdump "$exe" MajorSubsystemVersion).$(pe_field $objdump "$exe" MinorSubsystemVersion)" = "6.1 6.1"
done
check "the installer is a 32-bit program (it must start on 32-bit Windows)" \
  bash -c "$objdump32 -f '$dist/$setup' | grep -q 'file format pei-i386'"
# Windows 7, 8, 8.1 and 10: the GUIDs each version looks for.
supported="{1f676c76-80e1-4239-95bb-83d0f6d0da78} {35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a} "
for dir in "$top" "$top32"; do
  check "the ${dir##*-} zvp.exe's manifest names Windows 7, 8, 8.1 and 10, and no other" \
    test "$(grep -ao 'supportedOS Id="{[^}]*}"' "$dir/zvp.exe" | sed 's/.*Id="//; s/"$//' | sort | tr '\n' ' ')" = "$supported"
done
allowed=$source_dir/packaging/windows/windows7_imports.txt
grep -v '^#' "$allowed" | sed '/^$/d' | sort -u >"$work/allowed"
check "the list of allowed imports is not empty" test -s "$work/allowed"
for exe in "$top/zvp.exe" "$top/zvp-cli.exe" "$top32/zvp.exe" "$top32/zvp-cli.exe" "$dist/$setup"; do
  case $exe in "$top"/*) objdump=$objdump64 what="the win64 $(basename "$exe")" ;;
    "$top32"/*) objdump=$objdump32 what="the win32 $(basename "$exe")" ;;
    *) objdump=$objdump32 what="the installer" ;;
  esac
  pe_imports "$objdump" "$exe" >"$work/imports"
  comm -23 "$work/imports" "$work/allowed" >"$work/unlisted"
  check "$what imports only functions Windows 7 has ($(wc -l <"$work/imports") imports read)" \
    bash -c "grep -q '^kernel32.dll!' '$work/imports' && [ ! -s '$work/unlisted' ]"
  sed 's/^/  not in the list: /' "$work/unlisted"
done

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
