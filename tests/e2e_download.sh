#!/usr/bin/env bash
# A code download as a user runs it: zvp loads a 2 KiB raw image, downloads
# it into zvp-sim's memory over a pseudo-terminal and ends with the matching
# checksum; the wire trace shows the exchange; a programmer whose sum is off
# gets the warning; F7's initialisation works on its own.
#   e2e_download.sh ZVP ZVP_SIM
set -u
zvp=$1
sim=$2
tmp=$(mktemp -d)
simpids=()
cleanup() {
  local p
  for p in "${simpids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
passed=0
failed=0

check() {  # name, condition command...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $name"
  fi
}

# start_sim NAME [OPTIONS...]: a zvp-sim on its own terminal; the path goes
# into $tmp/NAME.pty.
start_sim() {
  local name=$1
  shift
  "$sim" "$@" >"$tmp/$name.out" 2>&1 </dev/null &
  simpids+=($!)
  for _ in $(seq 50); do [ -s "$tmp/$name.out" ] && break; sleep 0.1; done
  head -n1 "$tmp/$name.out" >"$tmp/$name.pty"
}

hex() { od -An -v -tx1 "$1" | tr -d ' \n' | tr 'a-f' 'A-F'; }
sum16() { od -An -v -tu1 "$1" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%04X", s % 65536 }'; }

# 2 KiB of code: no 0xFF at either end, so all of it is sent (683 writes of
# three, one filler byte after the last).
image=$tmp/code.bin
head -c 2048 /dev/urandom | LC_ALL=C tr '\377' '\001' >"$image"
printf '\x5A' | dd of="$image" bs=1 seek=0 conv=notrunc status=none
printf '\xA5' | dd of="$image" bs=1 seek=2047 conv=notrunc status=none
size=$(stat -c %s "$image")
sum=$(sum16 "$image")
check "the image is 2 KiB ($size)" test "$size" -eq 2048

start_sim good
pty=$(cat "$tmp/good.pty")
start=$(date +%s%N)
"$zvp" --port "$pty" --file "$image" --trace "$tmp/t.txt" download memsum state >"$tmp/out" 2>"$tmp/err"
rc=$?
took=$((($(date +%s%N) - start) / 1000000))
check "download exits 0 ($rc)" test $rc -eq 0
check "the file loads" grep -qx "调入代码成功!" "$tmp/out"
check "the memory is initialised" grep -qx "正在初始化编程存储器,该过程约需几秒到十几秒时间,请耐心等候......" "$tmp/out"
check "progress after 43 writes" grep -qx "\[双击这里中断下载\] 下载代码到编程器内存,发送数据地址:  00081" "$tmp/out"
check "the checksum matches ($sum)" test "$(grep -c "^编程内存检查和 =  $sum\$" "$tmp/out")" -eq 2
check "the checksum box shows it" grep -qx "checksum: $sum" "$tmp/out"
check "the range is the file's" grep -qx "end: 07FF" "$tmp/out"
check "the memory counts as loaded" grep -qx "memory: loaded" "$tmp/out"
check "no message box" test ! -s "$tmp/err"
check "it takes a few seconds (${took} ms)" test $took -lt 20000

# The wire: command 12, the announce 14 with the used range, the data in
# writes of three with the filler byte, the pauses in between, command 13.
awk '$2 == "WRITE" && $3 == "21/21" { print substr($4, 41, 2) }' "$tmp/t.txt" | tr '\n' ' ' >"$tmp/cmds"
check "headers 12, 14, 13, 13 after the connect ($(cat "$tmp/cmds"))" test "$(cat "$tmp/cmds")" = "01 0C 0E 0D 0D "
announce=$(awk '$2 == "WRITE" && $3 == "21/21" && substr($4, 41, 2) == "0E" { print $4; exit }' "$tmp/t.txt")
check "the announce names 0000..07FF and the sum" \
  test "${announce:32:8}${announce:12:4}${announce:16:4}" = "0000000007FF$sum"
awk '$2 == "WRITE" && $3 == "3/3" { printf "%s", $4 }' "$tmp/t.txt" >"$tmp/data"
check "683 writes of three" test "$(grep -c ' WRITE 3/3 ' "$tmp/t.txt")" -eq 683
check "the data are the file and one filler byte" test "$(cat "$tmp/data")" = "$(hex "$image")FF"
check "only writes of three between the announce and the check" \
  test "$(awk '$2 == "WRITE" && $3 != "21/21" && $3 != "3/3"' "$tmp/t.txt" | wc -l)" -eq 0
order=$(awk '$2 == "DELAY" && ($3 == 200 || $3 == 20 || $3 == 500) { printf "%s ", $3 }
             $2 == "WRITE" && $3 == "3/3" && !seen { printf "data "; seen = 1 }' "$tmp/t.txt")
check "pauses 200, 20, data, 500 ($order)" test "$order" = "200 20 data 500 "

# A programmer whose sum is one off: the warning, its sum shown, exit 1.
start_sim off --sum-offset 1
pty=$(cat "$tmp/off.pty")
"$zvp" --port "$pty" --file "$image" download >"$tmp/out" 2>"$tmp/err"
rc=$?
off=$(printf '%04X' $(((16#$sum + 1) % 65536)))
check "a wrong sum exits 1 ($rc)" test $rc -eq 1
check "the warning box" grep -q "^\[警 告\] 编程内存检查和错误! 请尝试重新下载代码 注意: 下载代码时请不要切换当前窗口 或启动其它需要实时处理的软件, 以免影响下载稳定性 -> OK$" "$tmp/err"
check "the programmer's sum is shown ($off)" grep -qx "编程内存检查和 =  $off" "$tmp/out"

# F7 on its own, confirmed.
pty=$(cat "$tmp/good.pty")
"$zvp" --port "$pty" --yes init-memory >"$tmp/out" 2>"$tmp/err"
rc=$?
check "init-memory exits 0 ($rc)" test $rc -eq 0
check "init-memory reports success" grep -qx "初始化存储器成功!" "$tmp/out"

echo "$passed passed, $failed failed"
test $failed -eq 0
