#!/usr/bin/env bash
# Takes the user's guide's pictures from the real window: zvp.exe under Wine
# on a private Xvfb, COM1 leading to zvp-sim on a pseudo-terminal, driven by
# guide_driver.exe (docs/guide/generator) with real input. Run it again
# whenever the window changes; no picture of the guide is made any other way.
#
#   bash scripts/guide_pictures.sh [OUT_DIR]
#
# OUT_DIR defaults to docs/guide/pictures. Without ZVP_WIN_BUILD (a mingw-w64
# build directory) and ZVP_SIM (a zvp-sim program) it builds the win and
# native presets' targets it needs. Pictures are stored with a palette of 256
# colours, which keeps them small without a visible change.
#
# The numbered marks on a picture (a red frame around a control and a red
# disc with its number at the frame's corner) are drawn here from the control
# rectangles the driver sends with its request; they are never drawn by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-docs/guide/pictures}

if [ -z "${ZVP_WIN_BUILD:-}" ] || [ -z "${ZVP_SIM:-}" ]; then
  bash scripts/setup.sh
fi
if [ -z "${ZVP_WIN_BUILD:-}" ]; then
  cmake --preset win >/dev/null
  cmake --build --preset win --target zvp guide_driver >/dev/null
  ZVP_WIN_BUILD=$root/build/win
fi
if [ -z "${ZVP_SIM:-}" ]; then
  cmake --preset native >/dev/null
  cmake --build --preset native --target zvp-sim >/dev/null
  ZVP_SIM=$root/build/native/tools/zvp-sim
fi
build=$(cd "$ZVP_WIN_BUILD" && pwd)
zvp=$build/tools/zvp.exe
driver=$build/docs/guide/generator/guide_driver.exe
for f in "$zvp" "$driver" "$ZVP_SIM"; do
  [ -f "$f" ] || { echo "guide_pictures: no $f" >&2; exit 2; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# shellcheck source=scripts/wine_env.sh
source scripts/wine_env.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-guide.XXXXXX")
signal=$work/signal
mkdir -p "$signal" "$work/shots"
sim_pid=

# Wine first: its server may hold the simulator's terminal.
# shellcheck disable=SC2317  # called from the trap
cleanup() {
  set +e
  zvp_wine_stop
  exec 3>&-
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Writes a request's answer where the driver waits for it: complete before
# the name appears.
answer() {
  printf '%s\n' "$2" >"$signal/$1.tmp"
  mv "$signal/$1.tmp" "$signal/$1.done"
}

# Hands a control line to the simulator; waits for its reply line when the
# line has one ("new-chip: mtp").
ask_sim() {
  local line=$1 cmd before reply
  cmd=${line%% *}
  before=$(wc -l <"$work/sim.out")
  echo "$line" >&3
  case $cmd in reset | silent | short | quit) return 0 ;; esac
  for _ in $(seq 100); do
    reply=$(tail -n +"$((before + 1))" "$work/sim.out" | grep -m1 "^$cmd:" || true)
    [ -n "$reply" ] && { echo "$reply"; return 0; }
    sleep 0.05
  done
  return 1
}

# Wine's own dialogs (open, save, the boxes' buttons) speak the Unix
# locale's language: a Simplified Chinese locale, compiled once into the
# build directory, so that the system's locales stay as they are. The prefix
# is this script's own, so the tests' prefix never sees another locale.
started=$SECONDS
locales=$build/locale
if [ ! -d "$locales/zh_CN.UTF-8" ]; then
  mkdir -p "$locales"
  localedef -i zh_CN -f UTF-8 "$locales/zh_CN.UTF-8"
fi
export LOCPATH=$locales
# (bash itself cannot load the locale: it looks before LOCPATH reaches it)
{ export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8; } 2>/dev/null
zvp_wine_prefix "$build/wineprefix-guide"
# The caption buttons need the Marlett font, which every prefix of the tree
# has (scripts/wine_env.sh); without it they would show as "0 1 r".
[ -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ] ||
  { echo "guide_pictures: the prefix has no Marlett font" >&2; exit 2; }
# The marks' numbers.
markfont=$(fc-match -f '%{file}' 'DejaVu Sans:bold')
[ -f "$markfont" ] || { echo "guide_pictures: no bold font for the marks (fonts-dejavu-core)" >&2; exit 2; }
zvp_wine_driven_display
# The file dialogs open where they were last used unless this is forgotten.
wine reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\ComDlg32' /f >/dev/null 2>&1 || true

mkfifo "$work/ctl"
"$ZVP_SIM" --link "$work/com1" <"$work/ctl" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3>"$work/ctl"
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && [ -L "$work/com1" ] && break
  sleep 0.1
done
[ -L "$work/com1" ] || { echo "guide_pictures: the simulator gave no terminal" >&2; exit 1; }
zvp_wine_ports COM1="$work/com1" COM2= COM3= COM4=

status=0
while IFS= read -r line; do
  line=${line%$'\r'}
  echo "$line"
  case $line in
    "ASK shot "*)
      read -r _ _ name geometry marks <<<"$line"
      import -window root -crop "$geometry" +repage "$work/shots/$name.png"
      if [ -n "${marks:-}" ]; then
        printf '%s\n' "$marks" >"$work/shots/$name.marks"
      fi
      answer shot ""
      ;;
    "ASK sim "*)
      answer sim "$(ask_sim "${line#ASK sim }" || true)"
      ;;
  esac
done < <(
  # The code files live in the folder the program starts in, which its file
  # dialogs show first: one on drive C, so that the pictures show the same
  # path at every run.
  codes="$WINEPREFIX/drive_c/产品代码"
  rm -rf "$codes"
  mkdir -p "$codes"
  cd "$codes"
  timeout 600 wine "$driver" "$(winepath -w "$zvp")" "$(winepath -w "$signal")" 2>"$work/driver.err"
  echo $? >"$work/status"
)
status=$(cat "$work/status")
if [ "$status" != 0 ]; then
  cat "$work/driver.err" >&2
  echo "guide_pictures: the driver failed ($status); $out is left as it was" >&2
  exit 1
fi

# The drawing arguments for convert that mark the rectangles of MARKS
# ("left,top,right,bottom;...", right and bottom exclusive) on a picture W
# by H pixels: the frames and discs first, then the numbers centred on the
# discs (-gravity center takes offsets from the picture's middle).
mark_arguments() {
  local marks=$1 w=$2 h=$3 n=0 l t r b cx cy m list
  local -a frames=() numbers=()
  IFS=';' read -r -a list <<<"$marks"
  for m in "${list[@]}"; do
    IFS=',' read -r l t r b <<<"$m"
    n=$((n + 1))
    frames+=(-fill none -stroke '#d40000' -strokewidth 2
      -draw "rectangle $((l - 2)),$((t - 2)) $((r + 1)),$((b + 1))")
    # The disc sits on the frame's top-right corner, where a group box or a
    # button has no text, kept inside the picture.
    cx=$((r + 1)) cy=$((t - 2))
    cx=$((cx < 11 ? 11 : cx > w - 12 ? w - 12 : cx))
    cy=$((cy < 11 ? 11 : cy > h - 12 ? h - 12 : cy))
    frames+=(-fill '#d40000' -stroke white -strokewidth 1.5 -draw "circle $cx,$cy $((cx + 10)),$cy")
    numbers+=(-annotate "$(printf '%+d%+d' $((cx - w / 2)) $((cy - h / 2)))" "$n")
  done
  printf '%s\0' "${frames[@]}" -stroke none -fill white -font "$markfont" -pointsize 13 \
    -gravity center "${numbers[@]}" -gravity northwest
}

# Only a complete, checked set replaces the pictures.
rm -f "$out"/*.png
for shot in "$work"/shots/*.png; do
  name=$(basename "$shot" .png)
  draw=()
  if [ -f "$work/shots/$name.marks" ]; then
    size=$(identify -format '%w %h' "$shot")
    w=${size% *} h=${size#* }
    mapfile -d '' draw < <(mark_arguments "$(cat "$work/shots/$name.marks")" "$w" "$h")
  fi
  convert "$shot" "${draw[@]}" -strip -colors 256 "PNG8:$out/$name.png"
done
echo "guide_pictures: $(find "$out" -name '*.png' | wc -l) pictures in $out ($((SECONDS - started)) s)"
