# shellcheck shell=bash
# Shell functions for running the Windows build under Wine in tests.
# Source it (bash), then:
#
#   zvp_wine_prefix DIR [ARCH] use DIR as a private Wine prefix, creating it
#                              the first time (with the CJK font mapping);
#                              ARCH win64 (the default) or win32
#   zvp_wine_fresh_prefix [ARCH]
#                              a new prefix for this run alone, as one made
#                              now, in build/wine-run of the source tree;
#                              zvp_wine_discard removes it
#   zvp_wine_arch_of EXE       prints win64 or win32: the prefix a Windows
#                              program needs (its PE machine field)
#   zvp_wine_headless          no display: for console programs
#   zvp_wine_display           a display for windows: keeps a working DISPLAY,
#                              otherwise starts a private Xvfb
#   zvp_wine_driven_display    a private Xvfb for a driver that gives real
#                              input, with Wine drawing the window frames
#   zvp_wine_ports COM1=/dev/pts/3 COM4=
#                              points COMn at a device, or (empty) at nothing
#   zvp_wine_stop              ends the prefix's Wine processes and our Xvfb
#   zvp_wine_discard           zvp_wine_stop, then removes the prefix that
#                              zvp_wine_fresh_prefix made
#
# Every function returns non-zero on failure and prints why on stderr; none
# exits the caller, and nothing here sets shell options.

# Wine chatter off; no prompts to install Mono or Gecko into a fresh prefix.
# ARCH (win64 unless given) is the kind of prefix: a 64-bit one also runs
# 32-bit programs, a 32-bit one (a 32-bit Windows) runs those alone.
zvp_wine_quiet() {
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=${1:-win64}
}

# zvp_wine_arch_of EXE: the machine field of the PE header, found through
# the offset at 0x3c.
zvp_wine_arch_of() {
  local exe=$1 offset machine
  offset=$(od -An -tu4 -j60 -N4 "$exe" 2>/dev/null | tr -d ' ')
  [ -n "$offset" ] || { zvp_wine_log "zvp_wine_arch_of: cannot read $exe"; return 1; }
  machine=$(od -An -tx1 -j$((offset + 4)) -N2 "$exe" 2>/dev/null | tr -d ' ')
  case $machine in
    6486) echo win64 ;;
    4c01) echo win32 ;;
    *) zvp_wine_log "zvp_wine_arch_of: $exe is no x86 or x86-64 Windows program ($machine)"; return 1 ;;
  esac
}

zvp_wine_log() { echo "wine_env: $*" >&2; }

# Text-mode registry file for regedit: REGEDIT4 header plus the given lines.
zvp_wine_write_reg() {
  local file=$1
  shift
  {
    printf 'REGEDIT4\r\n\r\n'
    local line
    for line in "$@"; do printf '%s\r\n' "$line"; done
    printf '\r\n'
  } >"$file"
}

# Every prefix of the tree is a copy of one made once per kind with wineboot
# (build/wine-templates/ARCH): wineboot takes half a minute of both cores,
# a copy a second, so the Wine tests can each have a prefix of their own and
# run side by side.
ZVP_WINE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build

# zvp_wine_template ARCH: makes the template of that kind unless it is ready.
# A template is ready once a run here finished setting it up with this Wine
# (the marker holds its version and the Unix halves installed: a prefix made
# before the 32-bit Wine came runs no 32-bit program; another Wine remakes
# it). Setup is serialised with a lock next to it, so parallel test runs do
# not both do it.
zvp_wine_template() {
  local arch=$1 dir=$ZVP_WINE_ROOT/wine-templates/$1 version
  version=$(wine --version 2>/dev/null) || { zvp_wine_log "no wine"; return 1; }
  version="$version $(echo /usr/lib/*/wine/*-unix) marlett"
  [ "$(cat "$dir/.zvp-prefix-ready" 2>/dev/null)" = "$version" ] && return 0
  mkdir -p "$(dirname "$dir")" || return 1
  (
    flock -w 300 9 || { zvp_wine_log "timed out waiting for $dir.lock"; exit 1; }
    [ "$(cat "$dir/.zvp-prefix-ready" 2>/dev/null)" = "$version" ] && exit 0
    rm -rf "$dir"
    zvp_wine_log "setting up the $arch Wine prefix that the others copy ($dir)"
    zvp_wine_quiet "$arch"
    # shellcheck disable=SC2030  # the template's setup alone, in this subshell
    export WINEPREFIX=$dir
    # wineboot writes locale-dependent defaults (fonts among them) into the
    # prefix: the template is the same whichever script makes it first, the
    # guide's pictures with their Chinese locale or a test.
    export LC_ALL=C.UTF-8 LANG=C.UTF-8
    # The display is not needed to create a prefix; keeping it away avoids
    # any dialog waiting for a user.
    DISPLAY='' wineboot -i >/dev/null 2>&1 || { zvp_wine_log "wineboot failed"; exit 1; }
    wineserver -w
    # Chinese texts draw as boxes unless the dialog fonts map to a CJK font.
    local reg=$dir/zvp-fonts.reg
    zvp_wine_write_reg "$reg" \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"MS Shell Dlg"="WenQuanYi Micro Hei"' \
      '"MS Shell Dlg 2"="WenQuanYi Micro Hei"'
    DISPLAY='' wine regedit "$reg" >/dev/null 2>&1 || { zvp_wine_log "font import failed"; exit 1; }
    wineserver -w
    # Wine draws the caption buttons (minimise, close) with the Marlett
    # font; without it they show as the letters "0 1 r". Every prefix gets
    # the copy that fonts-wine ships, in the Windows fonts folder, where Wine
    # always looks.
    local marlett=/usr/share/wine/fonts/marlett.ttf
    [ -f "$marlett" ] || { zvp_wine_log "no $marlett (package fonts-wine)"; exit 1; }
    mkdir -p "$dir/drive_c/windows/Fonts" && cp -f "$marlett" "$dir/drive_c/windows/Fonts/" ||
      { zvp_wine_log "cannot copy the Marlett font"; exit 1; }
    echo "$version" >"$dir/.zvp-prefix-ready"
  ) 9>"$dir.lock"
}

# zvp_wine_copy FROM TO: TO becomes a prefix like FROM. Wine's programs and
# libraries (1.3 GB of the 1.3 GB) are hard links: Wine writes them only
# when it updates a prefix to a new version, which remakes the template
# first. Everything else (the registry, the settings, drive C:'s files) is
# copied, so that nothing a run writes reaches the template. Another file
# system than the template's gets a plain copy.
zvp_wine_copy() {
  local from=$1 to=$2
  if ! cp -al "$from" "$to" 2>/dev/null; then
    rm -rf "$to"
    cp -a "$from" "$to" || { zvp_wine_log "cannot copy $from to $to"; return 1; }
    return 0
  fi
  find "$to" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
    -o -iname '*.acm' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.tlb' -o -iname '*.ax' \
    -o -iname '*.ds' -o -iname '*.vxd' -o -iname '*.com' \) -exec sh -c \
    'for f; do cp -p "$f" "$f.zvp-copy" && mv -f "$f.zvp-copy" "$f" || exit 1; done' sh {} + ||
    { zvp_wine_log "cannot copy $from to $to"; return 1; }
}

zvp_wine_check_arch() {
  case $1 in
    win64 | win32) ;;
    *) zvp_wine_log "$2: no such prefix kind '$1'"; return 2 ;;
  esac
}

# zvp_wine_prefix DIR [ARCH]: exports WINEPREFIX=DIR, a copy of the template
# the first time. A half-made DIR (a copy that was cut short), or one copied
# from an older template, is made again.
zvp_wine_prefix() {
  local dir=$1 arch=${2:-win64}
  [ -n "$dir" ] || { zvp_wine_log "zvp_wine_prefix: no directory"; return 2; }
  zvp_wine_check_arch "$arch" zvp_wine_prefix || return 2
  mkdir -p "$(dirname "$dir")" || return 1
  dir=$(cd "$(dirname "$dir")" && pwd)/$(basename "$dir")
  zvp_wine_quiet "$arch"
  # shellcheck disable=SC2031  # the caller's prefix; the template's stays in its subshell
  export WINEPREFIX=$dir
  zvp_wine_template "$arch" || return 1
  # A prefix copied from an older template (another Wine, or one made before
  # the template gained what it has now) is made again.
  local want
  want=$(cat "$ZVP_WINE_ROOT/wine-templates/$arch/.zvp-prefix-ready") || return 1
  [ "$(cat "$dir/.zvp-prefix-ready" 2>/dev/null)" = "$want" ] && return 0
  (
    flock -w 300 9 || { zvp_wine_log "timed out waiting for $dir.lock"; exit 1; }
    [ "$(cat "$dir/.zvp-prefix-ready" 2>/dev/null)" = "$want" ] && exit 0
    if [ -d "$dir" ] && [ ! -f "$dir/system.reg" ] && [ -n "$(ls -A "$dir")" ]; then
      zvp_wine_log "$dir is neither empty nor a Wine prefix; not using it"
      exit 1
    fi
    rm -rf "$dir"
    zvp_wine_copy "$ZVP_WINE_ROOT/wine-templates/$arch" "$dir"
  ) 9>"$dir.lock"
}

# zvp_wine_fresh_prefix [ARCH]: exports WINEPREFIX, a new copy of the
# template that no other run uses.
ZVP_WINE_FRESH=
zvp_wine_fresh_prefix() {
  local arch=${1:-win64}
  zvp_wine_check_arch "$arch" zvp_wine_fresh_prefix || return 2
  zvp_wine_template "$arch" || return 1
  mkdir -p "$ZVP_WINE_ROOT/wine-run" || return 1
  ZVP_WINE_FRESH=$(mktemp -d "$ZVP_WINE_ROOT/wine-run/$arch.XXXXXX") || return 1
  rmdir "$ZVP_WINE_FRESH"
  zvp_wine_copy "$ZVP_WINE_ROOT/wine-templates/$arch" "$ZVP_WINE_FRESH" || return 1
  zvp_wine_quiet "$arch"
  export WINEPREFIX=$ZVP_WINE_FRESH
}

zvp_wine_headless() {
  export DISPLAY=
}

# Keeps DISPLAY if an X server answers on it; otherwise starts Xvfb on a free
# display number (Xvfb picks it and reports it once it accepts clients).
ZVP_XVFB_PID=
zvp_wine_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local fifo
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/zvp-xvfb.XXXXXX") || return 1
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$fifo" >/dev/null 2>&1 &
  ZVP_XVFB_PID=$!
  local num=
  read -r -t 10 num <"$fifo"
  rm -f "$fifo"
  if [ -z "$num" ]; then
    zvp_wine_log "Xvfb did not start"
    kill "$ZVP_XVFB_PID" 2>/dev/null
    ZVP_XVFB_PID=
    return 1
  fi
  export DISPLAY=:$num
}

# Always a private Xvfb: a driver moves the mouse and types, which must not
# happen on someone's desktop. Wine then draws every window's frame and
# caption itself: with no window manager on the display, dialogs and message
# boxes would show without a caption.
zvp_wine_driven_display() {
  unset DISPLAY
  zvp_wine_display || return 1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  return 0
}

# zvp_wine_ports COMn=DEVICE ...: an empty DEVICE removes the port.
#
# Wine's mount manager rewrites the dosdevices/comN links every time a Wine
# session starts: detected serial devices take the free numbers, and a
# HKLM\Software\Wine\Ports value pins a number to a device. So the link alone
# does not last; the port is pinned in the registry as well, and the session
# that wrote the registry (whose mount manager saw the old values) is ended
# before the links are set. A removed port gets its registry value deleted
# rather than set empty: an empty value makes Wine create a device that opens
# but is no serial port.
zvp_wine_ports() {
  [ -n "${WINEPREFIX:-}" ] || { zvp_wine_log "zvp_wine_ports: no prefix"; return 2; }
  local lines=('[HKEY_LOCAL_MACHINE\Software\Wine\Ports]') entry name dev
  for entry in "$@"; do
    name=${entry%%=*}
    dev=${entry#*=}
    case $name in
      COM[1-9] | COM[1-9][0-9]) ;;
      *) zvp_wine_log "zvp_wine_ports: bad port '$entry'"; return 2 ;;
    esac
    if [ -n "$dev" ]; then
      lines+=("\"$name\"=\"$dev\"")
    else
      lines+=("\"$name\"=-")
    fi
  done
  local reg=$WINEPREFIX/zvp-ports.reg
  zvp_wine_write_reg "$reg" "${lines[@]}" || return 1
  # A Wine session still ending from the program before may refuse the
  # import now and then: it is ended and the import tried again.
  local attempt
  for attempt in 1 2 3; do
    wine regedit "$reg" >/dev/null 2>&1 && break
    if [ "$attempt" -eq 3 ]; then
      zvp_wine_log "port registry import failed"
      return 1
    fi
    wineserver -k 2>/dev/null
    wineserver -w
  done
  wineserver -k 2>/dev/null
  wineserver -w
  for entry in "$@"; do
    name=${entry%%=*}
    dev=${entry#*=}
    local link=$WINEPREFIX/dosdevices/${name,,}
    if [ -n "$dev" ]; then
      ln -sfn "$dev" "$link" || return 1
    else
      rm -f "$link" || return 1
    fi
  done
}

zvp_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
  fi
  if [ -n "${ZVP_XVFB_PID:-}" ]; then
    kill "$ZVP_XVFB_PID" 2>/dev/null
    wait "$ZVP_XVFB_PID" 2>/dev/null
    ZVP_XVFB_PID=
  fi
  return 0
}

zvp_wine_discard() {
  zvp_wine_stop
  if [ -n "${ZVP_WINE_FRESH:-}" ]; then
    rm -rf "$ZVP_WINE_FRESH"
    ZVP_WINE_FRESH=
  fi
  return 0
}
