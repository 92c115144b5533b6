#!/usr/bin/env bash
# Makes the guide one self-contained HTML file: every src="pictures/NAME.png"
# becomes a data: URI of that picture, read from PICTURE_DIR. The links to the
# engineers' page take the name it ships under beside the guide
# (zvp-engineers.html); in the source tree it is engineers.html, beside
# index.html, so the links work in both places.
#
#   inline_pictures.sh GUIDE.html PICTURE_DIR OUT.html
#
# A picture the guide names but PICTURE_DIR lacks is an error: the guide
# would open with a hole in it.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 GUIDE.html PICTURE_DIR OUT.html" >&2; exit 2; }
guide=$1 pictures=$2 out=$3
pattern='src="pictures/([A-Za-z0-9_-]+)\.png"'
: >"$out.tmp"
while IFS= read -r line || [ -n "$line" ]; do
  while [[ $line =~ $pattern ]]; do
    name=${BASH_REMATCH[1]}
    if [ ! -f "$pictures/$name.png" ]; then
      echo "inline_pictures: the guide shows $name.png, which $pictures lacks" >&2
      rm -f "$out.tmp"
      exit 1
    fi
    line=${line//"src=\"pictures/$name.png\""/"src=\"data:image/png;base64,$(base64 -w0 "$pictures/$name.png")\""}
  done
  line=${line//'href="engineers.html'/'href="zvp-engineers.html'}
  printf '%s\n' "$line" >>"$out.tmp"
done <"$guide"
mv "$out.tmp" "$out"
