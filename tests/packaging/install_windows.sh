#!/usr/bin/env bash
# The Windows release installed as a user would, in a fresh Wine prefix:
#   - the zip: its zvp-cli.exe runs (version, and the built-in programmer);
#   - the installer, silently (/S) over an older version made from the same
#     script: the files under Program Files, the shortcuts pointing at
#     zvp.exe, the uninstall entry with the new version, and the installed
#     zvp.exe --simulate showing its window;
#   - the uninstaller: the files, the shortcuts and the entry go, the user's
#     settings stay.
#
#   install_windows.sh DIST_DIR VERSION SOURCE_DIR
set -u
[ $# -eq 3 ] || { echo "usage: $0 DIST_DIR VERSION SOURCE_DIR" >&2; exit 2; }
dist=$(cd "$1" && pwd) || exit 2
version=$2
source_dir=$(cd "$3" && pwd) || exit 2
# shellcheck source=scripts/wine_env.sh
source "$source_dir/scripts/wine_env.sh"

# shellcheck source=tests/packaging/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-install.XXXXXX") || exit 1
zvp_pid=
# shellcheck disable=SC2317  # called from the trap
cleanup() {
  zvp_wine_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Wine writes menu entries and file associations for what it installs into
# the XDG folders: those of this test, not the user's.
export XDG_DATA_HOME=$work/xdg/data XDG_CONFIG_HOME=$work/xdg/config
started=$SECONDS
zvp_wine_prefix "$work/prefix" || exit 1
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
zvp_wine_headless
echo "fresh prefix in $((SECONDS - started)) s"
drive_c=$WINEPREFIX/drive_c

# --- the zip ----------------------------------------------------------------
unzip -q "$dist/zvp-$version-win64.zip" -d "$work/zip" || exit 1
cli=$work/zip/zvp-$version-win64/zvp-cli.exe
check "the zip's zvp-cli.exe --version says zvp $version" \
  bash -c "[ \"\$(wine '$cli' --version | tr -d '\r')\" = 'zvp $version' ]"
wine "$cli" --simulate connect >"$work/connect.txt" 2>&1
status=$?
check "the zip's zvp-cli.exe --simulate connect succeeds (exit $status)" \
  bash -c "[ $status -eq 0 ] && tr -d '\r' <'$work/connect.txt' | grep -qx 'OK, 已检测到 ZVP-V2.0C 连接在端口 COM1'"

# --- an older version first ---------------------------------------------------
# The same files and script, numbered 0.9.0, with a read-me of its own so
# that the update has something to replace.
old=$work/old-stage
cp -r "$work/zip/zvp-$version-win64" "$old"
echo "old read-me" >"$old/README.txt"
makensis -V1 -DVERSION=0.9.0 -DSTAGE="$old" -DOUTFILE="$work/old-setup.exe" \
  -DICON="$source_dir/windows/zvp.ico" "$source_dir/packaging/windows/zvp.nsi" || exit 1
wine "$work/old-setup.exe" /S
wineserver -w

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZVP'
reg_value() { wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }'; }
check "the older version is installed (0.9.0)" test "$(reg_value DisplayVersion)" = 0.9.0

# --- the installer --------------------------------------------------------
wine "$dist/zvp-$version-win64-setup.exe" /S
status=$?
wineserver -w
check "the installer ends with 0 (exit $status)" test "$status" -eq 0
install_dir="$drive_c/Program Files/ZVP"
for f in zvp.exe zvp-cli.exe zvp-guide.html zvp-engineers.html README.txt uninstall.exe; do
  check "Program Files\\ZVP holds $f" test -f "$install_dir/$f"
done
check "the installed files are the new version's (the read-me was replaced)" \
  cmp -s "$install_dir/README.txt" "$work/zip/zvp-$version-win64/README.txt"
check "the uninstall entry says $version" test "$(reg_value DisplayVersion)" = "$version"
check "the uninstall entry names the uninstaller and the folder" \
  bash -c "[ '$(reg_value UninstallString)' = '\"C:\\Program Files\\ZVP\\uninstall.exe\"' ] && [ '$(reg_value InstallLocation)' = 'C:\\Program Files\\ZVP' ]"
check "the installed zvp-cli.exe says zvp $version" \
  bash -c "[ \"\$(wine 'C:\\Program Files\\ZVP\\zvp-cli.exe' --version | tr -d '\r')\" = 'zvp $version' ]"

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
if zvp_wine_display; then
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
  wineserver -k
  wait "$zvp_pid" 2>/dev/null
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
check "it removes the uninstall entry" bash -c "! wine reg query '$key' >/dev/null 2>&1"
check "it keeps the user's settings (HKCU\\Software\\zelvatool)" \
  bash -c "wine reg query 'HKCU\\Software\\zelvatool' /v com 2>/dev/null | grep -q com3"

echo "run took $((SECONDS - started)) s"
checks_summary "windows install"
