#!/usr/bin/env bash
# zvp-cli.exe under Wine against zvp-sim behind COM1: the Windows command
# line connects through the real comm API, writes a wire trace, and fails
# cleanly on a port that does not exist.
#
#   run_cli.sh ZVP_SIM_PATH WIN_BUILD_DIR
set -u
sim=$1
build=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine_env.sh
source "$here/../../scripts/wine_env.sh"
# shellcheck source=tests/support/start_sim.sh
source "$here/../support/start_sim.sh"
exe=$build/tools/zvp-cli.exe
[ -f "$exe" ] || { echo "no $exe (build the win preset)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-cli.XXXXXX") || exit 1
cleanup() {
  zvp_wine_discard
  zvp_sim_stop
  rm -rf "$work"
}
trap cleanup EXIT

# A 32-bit build gets a 32-bit prefix, as on a 32-bit Windows; each run a
# new one of its own.
arch=$(zvp_wine_arch_of "$exe") || exit 2
zvp_wine_fresh_prefix "$arch" || exit 1
zvp_wine_headless
zvp_sim_start "$sim" "$work" || exit 1
pty=$ZVP_SIM_PTY
zvp_wine_ports COM1="$pty" COM7="$pty" COM4= COM9= || exit 1

passed=0
failed=0
check() {
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

timeout 120 wine "$exe" --port COM1 --trace 'C:\trace.txt' connect state >"$work/out" 2>"$work/err"
rc=$?
tr -d '\r' <"$work/out" >"$work/out.txt"
cat "$work/out.txt"
check "connect exits 0 ($rc)" test $rc -eq 0
check "the OK text names COM1" grep -qx "OK, 已检测到 ZVP-V2.0C 连接在端口 COM1" "$work/out.txt"
check "state shows the port" grep -qx "port: COM1" "$work/out.txt"
trace=$work/trace.txt
tr -d '\r' <"$WINEPREFIX/drive_c/trace.txt" >"$trace"
check "the trace shows the connect header" grep -qE ' WRITE 21/21 53544152[0-9A-F]{4}5555[0-9A-F]{16}5555555501$' "$trace"
check "the trace shows the answer" grep -q " READ 21/21 " "$trace"

timeout 60 wine "$exe" --port COM4 connect >"$work/out" 2>"$work/err"
rc=$?
tr -d '\r' <"$work/out" >"$work/out.txt"
check "a missing port exits 1 ($rc)" test $rc -eq 1
check "a missing port shows the connection error" grep -qx "编程器连接错误,编程器可能正忙,请稍候再试!" "$work/out.txt"

check "a missing port is named on standard error" grep -q 'COM4' "$work/err"

# USB serial adapters usually come as COM5 and above: any COMn is a port.
timeout 60 wine "$exe" --port com7 connect >"$work/out" 2>"$work/err"
rc=$?
tr -d '\r' <"$work/out" >"$work/out.txt"
check "COM7 connects ($rc)" test $rc -eq 0
check "the OK text names COM7" grep -qx "OK, 已检测到 ZVP-V2.0C 连接在端口 COM7" "$work/out.txt"
timeout 60 wine "$exe" --port COM9 connect >/dev/null 2>"$work/err"
check "a COMn that does not exist fails (not a usage error)" test $? -eq 1
timeout 60 wine "$exe" --port COMX connect >/dev/null 2>&1
check "a name that is no port is a usage error" test $? -eq 2

echo "$passed passed, $failed failed"
test $failed -eq 0
