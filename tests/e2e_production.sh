#!/usr/bin/env bash
# A production day end to end: zvp against zvp-sim on a pseudo-terminal.
# Download and auto-program a blank MTP chip (it must end holding the file
# and the protections asked for); run again on the same, now programmed chip
# with a blank check (it must fail there and be counted); make an offline
# master (the programmer keeps the configuration); and a programmer reset
# between two chips is reported while the production run waits; a programmer
# that restarts after any step of a run never lets it pass.
#   e2e_production.sh ZVP ZVP_SIM
set -u
zvp=$1
sim=$2
tmp=$(mktemp -d)
simpid=""
cleanup() {
  exec 3>&- 2>/dev/null
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null
  [ -n "${KEEP:-}" ] || rm -rf "$tmp"
}
trap cleanup EXIT
passed=0
failed=0
check() {
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}
# Asks the simulator something on its control input and waits for the answer line.
ask_sim() {  # command, answer prefix
  local before
  before=$(wc -l <"$tmp/sim.out")
  echo "$1" >&3
  for _ in $(seq 50); do
    if [ "$(wc -l <"$tmp/sim.out")" -gt "$before" ] && tail -n +"$((before + 1))" "$tmp/sim.out" | grep -q "^$2"; then
      tail -n +"$((before + 1))" "$tmp/sim.out" | grep "^$2" | tail -n1
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# A 2 KiB program image as a HEX file written by a tool nobody here wrote.
head -c 2048 /dev/urandom >"$tmp/app.bin"
srec_cat "$tmp/app.bin" -binary -o "$tmp/app.hex" -intel

mkfifo "$tmp/ctl"
"$sim" <"$tmp/ctl" >"$tmp/sim.out" 2>&1 &
simpid=$!
exec 3>"$tmp/ctl"
for _ in $(seq 50); do [ -s "$tmp/sim.out" ] && break; sleep 0.1; done
pty=$(head -n1 "$tmp/sim.out")

# 1. A blank MTP chip: download and auto-program with the default options.
"$zvp" --port "$pty" --file "$tmp/app.hex" download auto >"$tmp/out1" 2>"$tmp/err1"
check "the first chip passes" test $? -eq 0
check "the sequence reports success" grep -qx "自动编程已成功完成" "$tmp/out1"
chip=$(ask_sim chip "chip:")
check "the chip got SMART and the protections asked for ($chip)" \
  bash -c "echo '$chip' | grep -q 'smart=1 read-protect=1 ldc-protect=0 hw-write-protect=1'"
ask_sim "dump-chip $tmp/chip.bin" "dump-chip:" >/dev/null
check "the chip holds the file's data" cmp -n 2048 "$tmp/chip.bin" "$tmp/app.bin"

# 2. The same chip again, with a blank check: it fails there and counts.
"$zvp" --port "$pty" --options blank-check,verify --file "$tmp/app.hex" --log "$tmp/shift.log" \
  download auto --repeat </dev/null >"$tmp/out2" 2>"$tmp/err2"
check "the programmed chip fails" test $? -eq 1
check "at the blank check" grep -q "^芯片不空, 在地址: 00000$" "$tmp/out2"
check "the failure is counted" grep -q "^pass: 0  fail: 1$" "$tmp/out2"
check "the log has the run" grep -q ",空检查,失败,计数,\"芯片不空, 在地址: 00000\",0,1"$'\r'"$" "$tmp/shift.log"
check "the run's totals are printed" grep -q "^total: 1 runs, pass: 0  fail: 1" "$tmp/out2"

# 3. An offline master: the programmer keeps the code and the configuration.
"$zvp" --port "$pty" --file "$tmp/app.hex" --yes download offline-master >"$tmp/out3" 2>"$tmp/err3"
check "the offline master is made" test $? -eq 0
check "with its success text" grep -q "^脱机编程母片制作成功!" "$tmp/out3"
config=$(ask_sim config "config:")
check "the programmer holds a configuration ending in command 17 ($config)" \
  bash -c "echo '$config' | grep -qE '^config: 53544152[0-9A-F]{32}11$'"
ask_sim "dump-memory $tmp/mem.bin" "dump-memory:" >/dev/null
check "the programmer memory holds the code" cmp -n 2048 "$tmp/mem.bin" "$tmp/app.bin"

# 4. Reading the chip back: on a new blank chip, blank-check it, program and
# verify it without protection, copy the chip into the programmer memory,
# save that as a HEX file and view a page of the chip. The saved file must
# give back the code file's data (srec_cat reads it).
ask_sim new-chip "new-chip:" >/dev/null
"$zvp" --port "$pty" --options verify --end 07FF --file "$tmp/app.hex" \
  blank-check download auto >"$tmp/out5" 2>"$tmp/err5"
check "blank check, download and programming pass" test $? -eq 0
check "the new chip is blank" grep -q "^芯片是空的, 在地址空间: 00000~~007FF$" "$tmp/out5"
check "the programmed chip verifies" grep -qx "校验芯片成功" "$tmp/out5"
"$zvp" --port "$pty" --end 07FF --yes copy-chip save-hex "$tmp/back.hex" \
  view 0100 --chip-view >"$tmp/out6" 2>"$tmp/err6"
check "copy-chip and save-hex pass" test $? -eq 0
check "the copy reports its sum" grep -q "^拷贝芯片数据检查和 =  [0-9A-F]\{4\}$" "$tmp/out6"
srec_cat "$tmp/back.hex" -intel -o "$tmp/back.bin" -binary 2>/dev/null  # it notes the missing end record
check "the saved file holds the chip, which holds the code file" cmp "$tmp/back.bin" "$tmp/app.bin"
row=$(od -An -tx1 -j256 -N16 "$tmp/app.bin" | tr 'a-f' 'A-F' | sed 's/^ *//')
check "the chip view shows the code at 00100" grep -q "^00100 $row$" "$tmp/out6"

# 5. A reset between two chips is reported while the run waits.
ask_sim new-chip "new-chip:" >/dev/null
mkfifo "$tmp/operator"
"$zvp" --port "$pty" --options none --file "$tmp/app.hex" download auto --repeat \
  <"$tmp/operator" >"$tmp/out4" 2>"$tmp/err4" &
zvppid=$!
exec 4>"$tmp/operator"
for _ in $(seq 200); do grep -q "^pass: " "$tmp/out4" && break; sleep 0.1; done
echo reset >&3
for _ in $(seq 50); do grep -q "已复位" "$tmp/out4" && break; sleep 0.1; done
exec 4>&-
wait $zvppid
check "the first chip of the run passes" grep -q "^pass: 1  fail: 0$" "$tmp/out4"
check "the reset is reported while waiting" grep -q "^OK,检测到 ZVP-V2.0C 已复位!" "$tmp/out4"

# 5b. The programmer goes silent between two chips: the run that cannot
# reach it is logged as not counted, and the memory it may have lost is no
# longer trusted: the next chip is refused until a new download.
ask_sim new-chip "new-chip:" >/dev/null
mkfifo "$tmp/operator2"
"$zvp" --port "$pty" --options blank-check --file "$tmp/app.hex" --log "$tmp/lost.log" \
  download auto --repeat <"$tmp/operator2" >"$tmp/out9" 2>"$tmp/err9" &
zvppid=$!
exec 5>"$tmp/operator2"
for _ in $(seq 300); do grep -q "^pass: " "$tmp/out9" && break; sleep 0.1; done
ask_sim "fault silent" "fault:" >/dev/null
echo >&5
for _ in $(seq 100); do [ "$(grep -c '^pass: ' "$tmp/out9")" -ge 2 ] && break; sleep 0.1; done
ask_sim "fault none" "fault:" >/dev/null
echo >&5
exec 5>&-
wait $zvppid
rc=$?
check "a production run with a lost chip exits 1 ($rc)" test $rc -eq 1
check "the lost run is logged as not counted" grep -q ',XXXX,0000~07FF,自动空检查,空检查,不计数(编程器连接错误),计数,"编程器连接错误,编程器可能正忙,请稍候再试!",1,0' "$tmp/lost.log"
check "the first chip is logged as passed" grep -q ",通过,计数,自动编程已成功完成,1,0" "$tmp/lost.log"
check "after the lost link the memory is not trusted" grep -q "编程内存中无代码调入" "$tmp/err9"
check "the totals count what ran" grep -q "^total: 2 runs, pass: 1  fail: 0" "$tmp/out9"

# 5c. The programmer restarts (its memory lost) once each step of a default
# run is done. The run never passes: the reset text ends it, the chip a step
# changed is logged as failed, and the next chip is refused until the code is
# downloaded again. A restart after the last step finds the chip done.
reset_text="OK,检测到 ZVP-V2.0C 已复位!请点击[下载文件代码]按钮以刷新编程器内存代码"
for step in ${E2E_STEPS:-4 11 5 6 7 9}; do
  ask_sim new-chip "new-chip:" >/dev/null
  ask_sim "fault reset-after $step" "fault:" >/dev/null
  rm -f "$tmp/restart.log"
  printf '\n' | "$zvp" --port "$pty" --file "$tmp/app.hex" --log "$tmp/restart.log" \
    download auto --repeat >"$tmp/out10" 2>"$tmp/err10"
  rc=$?
  check "restart after step $step: the production run exits 1 ($rc)" test $rc -eq 1
  check "restart after step $step: the reset text is shown" grep -qxF "$reset_text" "$tmp/out10"
  if [ $step = 9 ]; then
    check "restart after the last step: that chip passed" grep -q ",通过,计数,自动编程已成功完成,1,0" "$tmp/restart.log"
    check "restart after the last step: the next chip is not counted, nothing sent" \
      grep -qF ",擦除MTP,不计数(编程器已复位),计数,\"$reset_text\",1,0" "$tmp/restart.log"
  else
    check "restart after step $step: no chip passed" bash -c "! grep -q ',通过,' '$tmp/restart.log'"
    check "restart after step $step: the chip is logged as failed" grep -qF ",失败,计数,\"$reset_text\",0,1" "$tmp/restart.log"
    check "restart after step $step: the next chip is refused" grep -q "编程内存中无代码调入" "$tmp/err10"
  fi
done
ask_sim "fault none" "fault:" >/dev/null

# 6. Faults switched on and off while the simulator runs, and its draws.
ask_sim new-chip "new-chip:" >/dev/null
check "a fault by name" test "$(ask_sim "fault answer-no 7" "fault:")" = "fault: answer-no 7"
"$zvp" --port "$pty" read-protect >"$tmp/out7" 2>"$tmp/err7"
check "the programmer refuses read protection" test $? -eq 1
check "with the refusal text" grep -qx "使能芯片读保护失败!" "$tmp/out7"
check "all off again" test "$(ask_sim "fault none" "fault:")" = "fault: none"
"$zvp" --port "$pty" read-protect >"$tmp/out8" 2>"$tmp/err8"
check "then it protects" grep -qx "芯片读保护已使能!" "$tmp/out8"
check "an unknown fault is named as such" test "$(ask_sim "fault bogus" "fault:")" = "fault: unknown bogus"
draws() {  # the first ten draws of a simulator started with seed $1
  { printf 'random-fault\n%.0s' $(seq 10); echo quit; } | "$sim" --seed "$1" | grep '^fault:' | tr '\n' ';'
}
first=$(draws 5)
check "ten draws give ten faults" test "$(echo "$first" | tr -cd ';' | wc -c)" -eq 10
check "a seed gives the same draws again" test "$first" = "$(draws 5)"
check "another seed gives others" test "$first" != "$(draws 6)"

echo "$passed passed, $failed failed"
test $failed -eq 0
