#!/usr/bin/env bash
# The command line run as a user would: against the built-in virtual
# programmer, a port that does not exist, and zvp-sim on a pseudo-terminal.
#   cli_test.sh ZVP ZVP_SIM
set -u
zvp=$1
sim=$2
tmp=$(mktemp -d)
trap 'kill $simpid 2>/dev/null; umount "$tmp/full" 2>/dev/null; rm -rf "$tmp"' EXIT
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

# Usage errors exit 2 with one line that names what is wrong.
"$zvp" --simulate frobnicate >/dev/null 2>&1
check "unknown command exits 2" test $? -eq 2
"$zvp" --chip otp --vdd 3.3 --simulate connect >/dev/null 2>&1
check "OTP at 3.3 V is refused" test $? -eq 2
"$zvp" >/dev/null 2>&1
check "no command exits 2" test $? -eq 2
for bad in 0x10 1FFFh 1,FFF -1 xyz 12345 ''; do
  for opt in --start --end; do
    "$zvp" --simulate $opt "$bad" blank-check >"$tmp/out" 2>"$tmp/err"
    rc=$?
    check "$opt '$bad' is a usage error ($rc)" test $rc -eq 2
    check "$opt '$bad' is named" grep -q -- "^zvp: $opt " "$tmp/err"
    check "$opt '$bad' touches no programmer" test ! -s "$tmp/out"
  done
done
"$zvp" --simulate view 1FFFFF >/dev/null 2>"$tmp/err"
check "a view address of 6 digits is a usage error" test $? -eq 2
check "and is named" grep -q "^zvp: view " "$tmp/err"

# No port: said, exit 2, whatever the command; state alone needs none.
for args in "blank-check" "--port '' connect"; do
  eval "\"\$zvp\" $args" >"$tmp/out" 2>"$tmp/err"
  check "no port ($args) exits 2" test $? -eq 2
  check "no port ($args) says so" grep -q "^zvp: no port" "$tmp/err"
done

# Questions answered No (no terminal on standard input: every answer is No)
# leave the command not done: exit 1, and the commands after it do not run.
echo "the old file" >"$tmp/keep.hex"
printf '\x5A%.0s' $(seq 256) >"$tmp/small.bin"
for cmd in copy-chip offline-master init-memory; do
  "$zvp" --simulate --file "$tmp/small.bin" download $cmd save-hex "$tmp/keep.hex" </dev/null \
    >"$tmp/out" 2>"$tmp/err"
  check "$cmd answered No exits 1" test $? -eq 1
  check "$cmd answered No: the box shows No" grep -q -- "-> No$" "$tmp/err"
  check "$cmd answered No: save-hex did not run" grep -qx "the old file" "$tmp/keep.hex"
done
# A .bin whose bytes are HEX text: loaded byte for byte only after a Yes
# (before, it was loaded as its characters without a question).
printf ':0100000055AA\r\n' >"$tmp/text.bin"
"$zvp" --simulate --debug --file "$tmp/text.bin" download save-hex "$tmp/keep.hex" </dev/null \
  >"$tmp/out" 2>"$tmp/err"
check "a .bin of HEX text answered No exits 1" test $? -eq 1
check "a .bin of HEX text is asked about" grep -q "^\[确 认\] 该BIN文件的内容是HEX格式的文本!.* -> No$" "$tmp/err"
check "a .bin of HEX text answered No is not loaded" grep -qx "操作已中止" "$tmp/out"
check "a .bin of HEX text answered No: save-hex did not run" grep -qx "the old file" "$tmp/keep.hex"
"$zvp" --simulate --debug --yes --file "$tmp/text.bin" download state </dev/null >"$tmp/out" 2>"$tmp/err"
check "a .bin of HEX text answered --yes loads as an image" test $? -eq 0
check "a .bin of HEX text answered --yes: its 15 bytes" grep -qx "end: 000E" "$tmp/out"
# Refused in debug mode with the window's "操作已中止": not done either.
echo "the old file" >"$tmp/keep.hex"
"$zvp" --simulate --debug --file "$tmp/small.bin" download offline-master save-hex "$tmp/keep.hex" \
  </dev/null >"$tmp/out" 2>"$tmp/err"
check "offline-master in debug mode exits 1" test $? -eq 1
check "offline-master in debug mode: save-hex did not run" grep -qx "the old file" "$tmp/keep.hex"

# A log or trace that cannot be written: one line, exit 2, no chip touched.
for target in "$tmp/missing/log.csv" "$tmp" /proc /dev/full; do
  for opt in --log --trace; do
    "$zvp" --simulate $opt "$target" connect >"$tmp/out" 2>"$tmp/err"
    rc=$?
    if [ "$opt $target" = "--trace /dev/full" ]; then
      # It opens; the first line that cannot be written stops the run.
      check "$opt $target fails ($rc)" test $rc -eq 1
      check "$opt $target says the write failed" grep -q "^zvp: writing the trace file /dev/full failed" "$tmp/err"
      continue
    fi
    check "$opt $target is a usage error ($rc)" test $rc -eq 2
    check "$opt $target says why in one line" test "$(wc -l <"$tmp/err")" -le 2
    check "$opt $target touches no programmer" test ! -s "$tmp/out"
  done
done

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

# save-hex and the target's permissions for a user who is not the
# administrator (the unit tests cover the administrator): a file that user
# may not write is refused and kept (before, it was replaced because the
# folder allowed it); a writable file in a folder where no part file can be
# made is refused with the reason and kept; a new file is saved.
if [ "$(id -u)" -eq 0 ]; then
  as_user() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
  chmod 0711 "$tmp"
  u=$tmp/user
  mkdir -m 0777 "$u" "$u/locked"
  chmod 0755 "$u/locked"
  echo "the old file" >"$u/root.hex"
  echo "the old file" >"$u/locked/mine.hex"
  chmod 0666 "$u/locked/mine.hex"
  for target in root.hex locked/mine.hex; do
    as_user "$zvp" --simulate --debug --file "$tmp/small.bin" download save-hex "$u/$target" \
      </dev/null >"$tmp/out" 2>"$tmp/err"
    check "save-hex to $target as another user exits 1" test $? -eq 1
    check "save-hex to $target as another user keeps the file" grep -qx "the old file" "$u/$target"
    check "save-hex to $target leaves no part file" test ! -e "$u/$target.zvp-part"
  done
  check "a file the user may not write is refused as write-protected" \
    grep -qx "保存文件失败,磁盘空间可能不足或指定的目标文件写保护." <(
      as_user "$zvp" --simulate --debug --file "$tmp/small.bin" download save-hex "$u/root.hex" \
        </dev/null 2>/dev/null)
  check "a folder without room for the part file is named as the reason" grep -qx \
    "保存文件失败,无法在目标文件所在的文件夹中创建临时文件!目标文件未被改变." "$tmp/out"
  as_user "$zvp" --simulate --debug --file "$tmp/small.bin" download save-hex "$u/new.hex" \
    </dev/null >"$tmp/out" 2>"$tmp/err"
  check "save-hex to a new file as another user exits 0" test $? -eq 0
  check "and writes the records" grep -qx ":10000000" <(head -c 9 "$u/new.hex")
fi

# Every auto run is logged, also without --repeat; the file opens in a
# spreadsheet: UTF-8 with a byte-order mark and a header line.
"$zvp" --simulate --debug --options none --end 01FF --file "$tmp/app.bin" --log "$tmp/log.csv" \
  download auto >/dev/null 2>&1
check "a single auto run passes" test $? -eq 0
check "the log starts with the byte-order mark and the header" \
  test "$(head -c 10 "$tmp/log.csv" | od -An -tx1 | tr -d ' \n')" = "efbbbfe697b6e997b42c"
check "the log has one line for the run" test "$(grep -c ',通过,计数,自动编程已成功完成,1,0' "$tmp/log.csv")" -eq 1

# --start and --end are typed again after the download, which shows the
# file's range (before, the file's range silently won), and auto runs over
# them after the programmer memory is summed over that range; a lone --end
# leaves the file's start. The offline master takes the file's range.
head -c 1024 /dev/urandom >"$tmp/1k.bin"
"$zvp" --simulate --options verify --start 0100 --end 01FF --file "$tmp/1k.bin" \
  --log "$tmp/range.csv" download auto state >"$tmp/out" 2>&1
check "download auto with --start/--end passes" test $? -eq 0
check "the typed range stands after the download" grep -qx "start: 0100" "$tmp/out"
check "and its end" grep -qx "end: 01FF" "$tmp/out"
check "the memory is summed over the typed range" grep -qx "请稍候,得到编程内存检查和,  地址: 001FF" "$tmp/out"
check "the run covers the typed range" grep -q ",0100~01FF,自动校验,编程;校验,通过," "$tmp/range.csv"
"$zvp" --simulate --debug --end 00FF --file "$tmp/1k.bin" download state >"$tmp/out" 2>&1
check "a lone --end after download keeps the file's start" grep -qx "start: 0000" "$tmp/out"
check "and takes the typed end" grep -qx "end: 00FF" "$tmp/out"
"$zvp" --simulate --end 01FF --file "$tmp/1k.bin" --yes offline-master >"$tmp/out" 2>"$tmp/err"
check "offline-master with --end is a usage error" test $? -eq 2
check "and says why" grep -q "^zvp: offline-master takes the code file's whole range" "$tmp/err"
check "and touches no programmer" test ! -s "$tmp/out"

# The log holds whole lines only. A log that an older program left ending
# in half a line gets a line end before the next line; a code file whose
# name is not UTF-8 is logged as UTF-8, with replacement characters.
printf '\xEF\xBB\xBFheader\r\n2026-12-07 2' >"$tmp/part.csv"
bad_name=$tmp/$(printf 'app-\xFF').bin
cp "$tmp/app.bin" "$bad_name"
"$zvp" --simulate --debug --options none --end 01FF --file "$bad_name" --log "$tmp/part.csv" \
  download auto >/dev/null 2>&1
check "an auto run onto half a line exits 0" test $? -eq 0
check "half a line is ended before the next" test "$(sed -n 2p "$tmp/part.csv")" = $'2026-12-07 2\r'
check "the next line starts on a line of its own" grep -qE $'^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8},COM1,.*,通过,计数,自动编程已成功完成,1,0\r$' "$tmp/part.csv"
check "a file name that is not UTF-8 is logged as UTF-8" iconv -f UTF-8 -t UTF-8 -o /dev/null "$tmp/part.csv"
check "with a replacement character" grep -q "app-$(printf '\xEF\xBF\xBD').bin" "$tmp/part.csv"

# A full disk (a small tmpfs; mounting it needs root). The log: every line
# in it whole, the chip whose line did not fit named with its result and
# its line printed, the totals true. The trace: the download ends with the
# trace's own reason, not the user's stop.
mkdir -p "$tmp/full"
if mount -t tmpfs -o size=8k tmpfs "$tmp/full" 2>/dev/null; then
  # One page for an old log with room for a few more lines, one for the rest.
  head -c 4096 /dev/zero >"$tmp/full/filler"
  { printf '\xEF\xBB\xBF%s\r\n' "$(head -n1 "$tmp/log.csv" | tail -c +4 | tr -d '\r')"
    for _ in $(seq 25); do printf '%0138d\r\n' 0; done; } >"$tmp/full/log.csv"
  printf '\n%.0s' $(seq 10) | "$zvp" --simulate --debug --options none --end 01FF --file "$tmp/app.bin" \
    --log "$tmp/full/log.csv" download auto --repeat >"$tmp/out" 2>"$tmp/err"
  rc=$?
  check "a full log disk stops the run with 1 ($rc)" test $rc -eq 1
  check "the log's failure is said" grep -q "^zvp: writing the log file $tmp/full/log.csv failed: No space left on device; stopped" "$tmp/err"
  chip=$(sed -nE 's/^zvp: chip ([0-9]+) \([0-9: -]+, 通过\) is not in the log.*/\1/p' "$tmp/err")
  check "the chip whose line is missing is named with its result" test "${chip:-0}" -ge 2
  check "and its line is printed" grep -qE "^[0-9: -]+,COM1,.*,通过,计数,自动编程已成功完成,$chip,0$" "$tmp/err"
  check "the totals are true" grep -qx "total: $chip runs, pass: $chip  fail: 0" "$tmp/out"
  check "the log ends in a whole line" test "$(tail -c 2 "$tmp/full/log.csv" | od -An -tx1 | tr -d ' \n')" = "0d0a"
  check "the chips before it are logged" test "$(grep -c ',通过,计数,' "$tmp/full/log.csv")" -eq $((chip - 1))
  check "every line of the log is whole" test "$(grep -vc $'\r$' "$tmp/full/log.csv")" -eq 0

  # The whole disk for the trace: it fills during the data.
  rm -f "$tmp/full/log.csv" "$tmp/full/filler"
  head -c 1024 /dev/zero | tr '\0' '\132' >"$tmp/1k.bin"
  "$zvp" --simulate --end 03FF --file "$tmp/1k.bin" --trace "$tmp/full/t.txt" download \
    >"$tmp/out" 2>"$tmp/err"
  rc=$?
  check "a trace that fills the disk stops the download with 1 ($rc)" test $rc -eq 1
  check "the download ends with the trace's reason" grep -qx "跟踪文件写入失败(No space left on device),操作已停止!" "$tmp/out"
  check "not with the user's stop" test "$(grep -c "下载过程已被用户中断!" "$tmp/out")" -eq 0
  check "the trace's failure is said" grep -q "^zvp: writing the trace file $tmp/full/t.txt failed" "$tmp/err"
  umount "$tmp/full"
else
  echo "skipped: the full-disk cases (no tmpfs could be mounted)"
fi

# Ctrl-C during an auto run is answered at once. The first lets the chip
# finish, logged, and no next chip starts; a second stops the chip now (the
# code stream before its next write), logged as failed, never killing the
# program with a chip half done and no line.
head -c 8192 /dev/urandom >"$tmp/8k.bin"
for signals in 1 2; do
  rm -f "$tmp/sig.csv"
  printf '\n\n\n' | "$zvp" --simulate --debug --options none --end 1FFF --file "$tmp/8k.bin" \
    --log "$tmp/sig.csv" download auto --repeat >"$tmp/out" 2>"$tmp/err" &
  zvppid=$!
  for _ in $(seq 200); do grep -q "正在编程芯片, 地址: 0" "$tmp/out" && break; sleep 0.05; done
  kill -INT $zvppid
  start=$(date +%s%N)
  for _ in $(seq 100); do grep -q "^zvp: stopping after this chip" "$tmp/err" && break; sleep 0.01; done
  took=$((($(date +%s%N) - start) / 1000000))
  check "$signals Ctrl-C: the first is answered at once (${took} ms)" test $took -lt 1000
  if [ $signals = 2 ]; then
    sleep 0.3
    kill -INT $zvppid
  fi
  wait $zvppid
  rc=$?
  check "$signals Ctrl-C: exit 1 ($rc)" test $rc -eq 1
  check "$signals Ctrl-C: one chip, logged" test "$(grep -c ',COM1,' "$tmp/sig.csv")" -eq 1
  totals="total: 1 runs, pass: 1  fail: 0"
  [ $signals = 2 ] && totals="total: 1 runs, pass: 0  fail: 1  (not every chip passed)"
  check "$signals Ctrl-C: no next chip" grep -qx "$totals" "$tmp/out"
  if [ $signals = 1 ]; then
    check "1 Ctrl-C: the chip is finished" grep -q ",直接编程,通过,计数,自动编程已成功完成,1,0" "$tmp/sig.csv"
  else
    check "2 Ctrl-C: the second says the chip stops now" grep -q "^zvp: stopping this chip now" "$tmp/err"
    check "2 Ctrl-C: the chip is logged as failed" grep -q ",直接编程,失败,计数,用户已中断操作!,0,1" "$tmp/sig.csv"
  fi
done

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
check "trace lines carry milliseconds" grep -qE "^[0-9]+\.[0-9]{3} OPEN $pty ok$" "$tmp/t.txt"
check "the connection names the port as given" grep -qx "OK, 已检测到 ZVP-V2.0C 连接在端口 $pty" "$tmp/out"

# A save stopped by Ctrl-C (SIGINT) keeps the old file whole: exit 1, the
# stop said, no part file left beside it.
echo "the old file" >"$tmp/keep.hex"
"$zvp" --port "$pty" --end 7FFF save-hex "$tmp/keep.hex" >"$tmp/out" 2>"$tmp/err" &
zvppid=$!
for _ in $(seq 100); do grep -q "读取编程内存数据并保存到文件" "$tmp/out" && break; sleep 0.05; done
kill -INT $zvppid
wait $zvppid
rc=$?
check "an interrupted save exits 1 ($rc)" test $rc -eq 1
check "an interrupted save says so" grep -q "^zvp: interrupted" "$tmp/err"
check "an interrupted save keeps the old file" grep -qx "the old file" "$tmp/keep.hex"
check "an interrupted save leaves no part file" test ! -e "$tmp/keep.hex.zvp-part"

# A port that cannot be opened says why on standard error.
"$zvp" --port "$tmp/no-such-tty" connect >"$tmp/out" 2>"$tmp/err"
check "a missing device exits 1" test $? -eq 1
check "a missing device is named with the reason" grep -q "$tmp/no-such-tty" "$tmp/err"

echo "$passed passed, $failed failed"
test $failed -eq 0
