# shellcheck shell=bash
# The package tests' checks: `check WHAT COMMAND...` runs the command quietly
# and prints PASS or FAIL with WHAT; `checks_summary NAME` prints the count
# and ends the script with 1 when a check failed.
failed=0
passed=0
check() {
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then echo "PASS $what"; passed=$((passed + 1)); else
    echo "FAIL $what"
    failed=$((failed + 1))
  fi
}
checks_summary() {
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
