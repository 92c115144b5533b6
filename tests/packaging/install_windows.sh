#!/usr/bin/env bash
# The Windows release installed as a user would, in a fresh Wine prefix of
# the kind ARCH names: win64 (a 64-bit Windows) or win32 (a 32-bit one):
#   - the zip that fits: its zvp-cli.exe runs (version, and the built-in
#     programmer); in the 64-bit prefix the 32-bit zip's runs as well;
#   - the one installer, silently (/S) over an older version made from the
#     same script: the build that fits the prefix under its Program Files,
#     the shortcuts pointing at zvp.exe, the uninstall entry with the new
#     version in the registry view of that build, the installed zvp-cli.exe
#     connecting through COM1 to zvp-sim, and the installed zvp.exe
#     --simulate showing its window (screenshot installBITS_window.png in
#     SHOT_DIR, default build/screenshots of the source tree);
#   - the uninstaller: the files, the shortcuts and the entry go, the user's
#     settings stay.
#
#   install_windows.sh DIST_DIR VERSION SOURCE_DIR ZVP_SIM win64|win32 [SHOT_DIR]
set -u
[ $# -ge 5 ] || { echo "usage: $0 DIST_DIR VERSION SOURCE_DIR ZVP_SIM win64|win32 [SHOT_DIR]" >&2; exit 2; }
dist=$(cd "$1" && pwd) || exit 2
version=$2
source_dir=$(cd "$3" && pwd) || exit 2
sim=$4
arch=$5
case $arch in
  win64) bits=64 ;;
  win32) bits=32 ;;
  *) echo "$0: ARCH is win64 or win32, not '$arch'" >&2; exit 2 ;;
esac
shots=${6:-$source_dir/build/screenshots}
[ -x "$sim" ] || { echo "no simulator at $sim" >&2; exit 2; }
mkdir -p "$shots" || exit 2
# shellcheck source=scripts/wine_env.sh
source "$source_dir/scripts/wine_env.sh"
# shellcheck source=tests/support/start_sim.sh
source "$source_dir/tests/support/start_sim.sh"

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-install.XXXXXX") || exit 1
zvp_pid=
# Wine first: its server may hold the simulator's terminal.
# shellcheck disable=SC2317  # called from the trap
cleanup() {
  zvp_wine_discard
  zvp_sim_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Wine writes menu entries and file associations for what it installs into
# the XDG folders: those of this test, not the user's.
export XDG_DATA_HOME=$work/xdg/data XDG_CONFIG_HOME=$work/xdg/config
started=$SECONDS
zvp_wine_fresh_prefix "$arch" || exit 1
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
zvp_wine_headless
echo "fresh $arch prefix in $((SECONDS - started)) s"
drive_c=$WINEPREFIX/drive_c

# --- the zip ----------------------------------------------------------------
for b in 64 32; do
  unzip -q "$dist/zvp-$version-win$b.zip" -d "$work/zip" || exit 1
done
zip_runs() {
  local b=$1 cli=$work/zip/zvp-$version-win$1/zvp-cli.exe
  check "the win$b zip's zvp-cli.exe --version says zvp $version" \
    bash -c "[ \"\$(wine '$cli' --version | tr -d '\r')\" = 'zvp $version' ]"
  wine "$cli" --simulate connect >"$work/connect.txt" 2>&1
  local status=$?
  check "the win$b zip's zvp-cli.exe --simulate connect succeeds (exit $status)" \
    bash -c "[ $status -eq 0 ] && tr -d '\r' <'$work/connect.txt' | grep -qx 'OK, 已检测到 ZVP-V2.0C 连接在端口 COM1'"
}
zip_runs "$bits"
# The read-me promises that the 32-bit build runs on 64-bit Windows too.
[ "$bits" = 64 ] && zip_runs 32

# --- an older version first ---------------------------------------------------
# The same files and script, numbered 0.9.0, with read-mes of their own so
# that the update has something to replace.
for b in 64 32; do
  cp -r "$work/zip/zvp-$version-win$b" "$work/old-stage$b"
  echo "old read-me" >"$work/old-stage$b/README.txt"
done
makensis -V1 -DVERSION=0.9.0 -DSTAGE64="$work/old-stage64" -DSTAGE32="$work/old-stage32" \
  -DOUTFILE="$work/old-setup.exe" \
  -DICON="$source_dir/windows/zvp.ico" "$source_dir/packaging/windows/zvp.nsi" || exit 1
wine "$work/old-setup.exe" /S
wineserver -w

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZVP'
# `wine reg` may run as a 32-bit program, which sees the 32-bit registry view
# of a 64-bit Windows: the view is named. (A 32-bit Windows has one view.)
reg_value() { wine reg query "$key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }'; }
check "the older version is installed (0.9.0)" test "$(reg_value DisplayVersion)" = 0.9.0

# --- the installer --------------------------------------------------------
wine "$dist/zvp-$version-setup.exe" /S
status=$?
wineserver -w
check "the installer ends with 0 (exit $status)" test "$status" -eq 0
# The prefix's own Program Files: the 64-bit one in a 64-bit prefix, the
# only one in a 32-bit prefix.
install_dir="$drive_c/Program Files/ZVP"
for f in zvp.exe zvp-cli.exe zvp-guide.html zvp-engineers.html README.txt uninstall.exe; do
  check "Program Files\\ZVP holds $f" test -f "$install_dir/$f"
done
for f in zvp.exe zvp-cli.exe; do
  check "the installed $f is the $bits-bit build" \
    test "$(zvp_wine_arch_of "$install_dir/$f")" = "$arch"
done
check "nothing went to the 32-bit Program Files (x86)" test ! -e "$drive_c/Program Files (x86)/ZVP"
check "the installed files are the new version's (the $bits-bit read-me replaced the old one)" \
  cmp -s "$install_dir/README.txt" "$work/zip/zvp-$version-win$bits/README.txt"
check "the uninstall entry says $version" test "$(reg_value DisplayVersion)" = "$version"
if [ "$bits" = 64 ]; then
  check "the uninstall entry is in the 64-bit registry view alone (as the 64-bit build's)" \
    bash -c "! wine reg query '$key' /reg:32 >/dev/null 2>&1"
fi
check "the uninstall entry names the uninstaller and the folder" \
  bash -c "[ '$(reg_value UninstallString)' = '\"C:\\Program Files\\ZVP\\uninstall.exe\"' ] && [ '$(reg_value InstallLocation)' = 'C:\\Program Files\\ZVP' ]"
check "the installed zvp-cli.exe says zvp $version" \
  bash -c "[ \"\$(wine 'C:\\Program Files\\ZVP\\zvp-cli.exe' --version | tr -d '\r')\" = 'zvp $version' ]"

# The installed command line through the real comm API: COM1 leads to zvp-sim
# on a pseudo-terminal.
if zvp_sim_start "$sim" "$work" && zvp_wine_ports COM1="$ZVP_SIM_PTY"; then
  timeout 60 wine 'C:\Program Files\ZVP\zvp-cli.exe' --port COM1 connect >"$work/com1.txt" 2>&1
  status=$?
  check "the installed zvp-cli.exe connects through COM1 to zvp-sim (exit $status)" \
    bash -c "[ $status -eq 0 ] && tr -d '\r' <'$work/com1.txt' | grep -qx 'OK, 已检测到 ZVP-V2.0C 连接在端口 COM1'"
else
  check "zvp-sim behind COM1" false
fi
wineserver -k 2>/dev/null
wineserver -w
zvp_sim_stop

# A shortcut keeps its target's path as text (the local base path, ANSI, and
# the relative path, UTF-16).
points_at_zvp() {
  [ -f "$1" ] && { strings -a "$1"; strings -el "$1"; } | grep -q 'Program Files\\ZVP\\zvp\.exe$'
}
menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/ZVP 编程器"
desktop="$drive_c/users/Public/Desktop"
check "the Start menu shortcut points at zvp.exe" points_at_zvp "$menu/ZVP 编程器控制软件.lnk"
check "the Start menu has the guide and the uninstaller" \
  test -f "$menu/使用说明.lnk" -a -f "$menu/卸载 ZVP.lnk"
check "the desktop shortcut points at zvp.exe" points_at_zvp "$desktop/ZVP 编程器控制软件.lnk"

# --- the installed window program -------------------------------------------
# On a private Xvfb, with the frame Wine draws, for a screenshot as a user
# sees the window.
if zvp_wine_driven_display; then
  wine 'C:\Program Files\ZVP\zvp.exe' --simulate >/dev/null 2>&1 &
  zvp_pid=$!
  window=
  for _ in $(seq 120); do
    window=$(xdotool search --onlyvisible --name 'ZVP-V2.0C' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$zvp_pid" 2>/dev/null || break
    sleep 0.5
  done
  check "the installed zvp.exe --simulate shows its window" test -n "$window"
  if [ -n "$window" ]; then
    # The window paints once it is shown; the counters and the code view last.
    sleep 2
    shot=$shots/install${bits}_window.png
    check "a screenshot of the installed window ($shot)" import -window "$window" "$shot"
  fi
  wineserver -k
  wait "$zvp_pid" 2>/dev/null
  zvp_wine_stop
  zvp_wine_headless
else
  check "a display for the window" false
fi

# --- the uninstaller ----------------------------------------------------------
# The user's settings, as the window program keeps them, must outlive it.
wine reg add 'HKCU\Software\zelvatool' /v com /t REG_SZ /d com3 /f >/dev/null 2>&1
# The uninstaller copies itself away and runs from there: wait for Wine.
wine "C:\\Program Files\\ZVP\\uninstall.exe" /S
wineserver -w
check "the uninstaller removes the program folder" test ! -e "$install_dir"
check "it removes the Start menu folder and the desktop shortcut" \
  test ! -e "$menu" -a ! -e "$desktop/ZVP 编程器控制软件.lnk"
check "it removes the uninstall entry" \
  bash -c "! wine reg query '$key' /reg:64 >/dev/null 2>&1 && ! wine reg query '$key' /reg:32 >/dev/null 2>&1"
check "it keeps the user's settings (HKCU\\Software\\zelvatool)" \
  bash -c "wine reg query 'HKCU\\Software\\zelvatool' /v com 2>/dev/null | grep -q com3"

echo "run took $((SECONDS - started)) s"
checks_summary "windows install ($arch)"
