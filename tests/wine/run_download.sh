#!/usr/bin/env bash
# zvp-cli.exe under Wine against zvp-sim behind COM1: a 2 KiB raw image is
# loaded, downloaded through the real comm API and checked; the programmer's
# sum must match the file's. A programmer whose sum is off gets the warning.
#
#   run_download.sh ZVP_SIM_PATH WIN_BUILD_DIR
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

work=$(mktemp -d "${TMPDIR:-/tmp}/zvp-download.XXXXXX") || exit 1
cleanup() {
  zvp_wine_discard
  zvp_sim_stop
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

# start_sim [OPTIONS...]: a fresh zvp-sim behind COM1.
start_sim() {
  zvp_sim_start "$sim" "$work" "$@" && zvp_wine_ports COM1="$ZVP_SIM_PTY"
}

# A 32-bit build gets a 32-bit prefix, as on a 32-bit Windows; each run a
# new one of its own.
arch=$(zvp_wine_arch_of "$exe") || exit 2
zvp_wine_fresh_prefix "$arch" || exit 1
zvp_wine_headless

# 2 KiB of code without 0xFF at either end; it sits on drive C:.
image=$WINEPREFIX/drive_c/zvp-download.bin
head -c 2048 /dev/urandom | LC_ALL=C tr '\377' '\001' >"$image"
sum=$(od -An -v -tu1 "$image" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%04X", s % 65536 }')

start_sim || exit 1
start=$(date +%s%N)
timeout 120 wine "$exe" --port COM1 --file 'C:\zvp-download.bin' --trace 'C:\download-trace.txt' \
  download state >"$work/out" 2>"$work/err"
rc=$?
took=$((($(date +%s%N) - start) / 1000000))
tr -d '\r' <"$work/out" >"$work/out.txt"
cat "$work/out.txt"
check "download exits 0 ($rc)" test $rc -eq 0
check "the file loads" grep -qx "调入代码成功!" "$work/out.txt"
check "progress after 43 writes" grep -qx "\[双击这里中断下载\] 下载代码到编程器内存,发送数据地址:  00081" "$work/out.txt"
check "the programmer's sum matches the file's ($sum)" grep -qx "编程内存检查和 =  $sum" "$work/out.txt"
check "the checksum box shows it" grep -qx "checksum: $sum" "$work/out.txt"
check "the memory counts as loaded" grep -qx "memory: loaded" "$work/out.txt"
check "well within a minute (${took} ms)" test $took -lt 60000
trace=$work/trace.txt
tr -d '\r' <"$WINEPREFIX/drive_c/download-trace.txt" >"$trace"
check "683 writes of three" test "$(grep -c ' WRITE 3/3 ' "$trace")" -eq 683
check "the announce header names 0000..07FF" \
  grep -qE " WRITE 21/21 53544152[0-9A-F]{4}07FF${sum}[0-9A-F]{12}000000000E$" "$trace"

# The same download against a programmer whose sum is one off.
start_sim --sum-offset 1 || exit 1
timeout 120 wine "$exe" --port COM1 --file 'C:\zvp-download.bin' download >"$work/out" 2>"$work/err"
rc=$?
tr -d '\r' <"$work/out" >"$work/out.txt"
tr -d '\r' <"$work/err" >"$work/err.txt"
off=$(printf '%04X' $(((16#$sum + 1) % 65536)))
check "a wrong sum exits 1 ($rc)" test $rc -eq 1
check "the warning box" grep -q "^\[警 告\] 编程内存检查和错误! 请尝试重新下载代码" "$work/err.txt"
check "the programmer's sum is shown ($off)" grep -qx "编程内存检查和 =  $off" "$work/out.txt"

echo "$passed passed, $failed failed"
test $failed -eq 0
