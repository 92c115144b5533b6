#!/usr/bin/env bash
# The command line run as a user would: against the built-in virtual
# programmer, a port that does not exist, and zvp-sim on a pseudo-terminal.
#   cli_test.sh ZVP ZVP_SIM
set -u
zvp=$1
sim=$2
tmp=$(mktemp -d)
trap 'kill $simpid 2>/dev/null; rm -rf "$tmp"' EXIT
simpid=""
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

# A new user's first try: the built-in virtual programmer.
"$zvp" --simulate connect >"$tmp/out" 2>"$tmp/err"
rc=$?
check "simulate connect exits 0" test $rc -eq 0
check "simulate connect shows progress" grep -qx "初始化ZVP-V2.0C,请稍候......" "$tmp/out"
check "simulate connect shows the port" grep -qx "OK, 已检测到 ZVP-V2.0C 连接在端口 COM1" "$tmp/out"

# A port that does not exist: the connection error, exit 1, at once.
start=$(date +%s%N)
"$zvp" --port /dev/does-not-exist connect >"$tmp/out" 2>"$tmp/err"
rc=$?
took=$((($(date +%s%N) - start) / 1000000))
check "missing port exits 1" test $rc -eq 1
check "missing port shows the connection error" grep -qx "编程器连接错误,编程器可能正忙,请稍候再试!" "$tmp/out"
check "missing port fails at once (${took} ms)" test $took -lt 2000

# Usage errors and commands not built yet exit 2.
"$zvp" --simulate frobnicate >/dev/null 2>&1
check "unknown command exits 2" test $? -eq 2
"$zvp" --chip otp --vdd 3.3 --simulate connect >/dev/null 2>&1
check "OTP at 3.3 V is refused" test $? -eq 2
"$zvp" >/dev/null 2>&1
check "no command exits 2" test $? -eq 2

# Without a port an operation is refused by the window's own text.
"$zvp" blank-check >"$tmp/out" 2>&1
rc=$?
if [ $rc -ne 2 ]; then
  check "blank-check without a port exits 1" test $rc -eq 1
  check "blank-check without a port asks for a port" grep -q "请点击相应的COM端口以启动编程器连接" "$tmp/out"
fi

# The choices show in the window's state.
"$zvp" --chip otp --vpp 12 --options blank-check,verify --start 100 --end 2ff \
  --file app.hex --debug state >"$tmp/out" 2>&1
check "state exits 0 without a port" test $? -eq 0
check "state shows the chip" grep -qx "chip: otp" "$tmp/out"
check "state shows 12 V" grep -qx "vpp: 12" "$tmp/out"
check "state shows the options" grep -qx "options: blank-check,verify" "$tmp/out"
check "state shows the range" grep -qx "end: 2ff" "$tmp/out"
check "state shows the file" grep -qx "file: app.hex" "$tmp/out"
check "state shows debug mode" grep -qx "debug: on" "$tmp/out"
check "state shows no port" grep -qx "port: none" "$tmp/out"

# The whole round with the built-in programmer in debug mode: load, view a
# page of the buffer, save it as HEX and compare with the file.
printf '\x01\x23\x45\x67\x89\xAB\xCD\xEF%.0s' $(seq 64) >"$tmp/app.bin"
"$zvp" --simulate --debug --end 01FF --file "$tmp/app.bin" download view 0100 save-hex "$tmp/back.hex" \
  >"$tmp/out" 2>&1
check "debug download, view and save-hex exit 0" test $? -eq 0
check "the view shows the page at 00100" grep -qx "00100 01 23 45 67 89 AB CD EF 01 23 45 67 89 AB CD EF" "$tmp/out"
check "the save reports the file" grep -q "^代码文件文件已成功保存在: " "$tmp/out"
check "the saved HEX holds the data" grep -qx ":10000000" <(head -c 9 "$tmp/back.hex")
"$zvp" --simulate --chip otp --yes erase >"$tmp/out" 2>&1
check "erase is refused for an OTP chip" test $? -eq 1
check "and says the button is greyed" grep -q "greyed" "$tmp/out"

# zvp-sim on a pseudo-terminal, with a wire trace.
"$sim" >"$tmp/sim" </dev/null &
simpid=$!
for _ in $(seq 50); do [ -s "$tmp/sim" ] && break; sleep 0.1; done
pty=$(head -n1 "$tmp/sim")
"$zvp" --port "$pty" --trace "$tmp/t.txt" connect >"$tmp/out" 2>&1
check "pty connect exits 0" test $? -eq 0
header=$(awk '$2 == "WRITE" { print $4; exit }' "$tmp/t.txt")
size=$(awk '$2 == "WRITE" { print $3; exit }' "$tmp/t.txt")
check "trace: the header write is 21 bytes ($size)" test "$size" = "21/21"
check "trace: byte 20 is 01" test "${header:40:2}" = "01"
check "trace: bytes 6 and 7 are 55" test "${header:12:4}" = "5555"
check "trace: bytes 16 to 19 are 55" test "${header:32:8}" = "55555555"
check "trace: the answer is read" grep -q " READ 21/21 " "$tmp/t.txt"
check "trace lines carry milliseconds" grep -qE '^[0-9]+\.[0-9]{3} OPEN COM1 ok$' "$tmp/t.txt"

echo "$passed passed, $failed failed"
test $failed -eq 0
