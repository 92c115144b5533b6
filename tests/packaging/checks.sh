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

# pe_imports OBJDUMP EXE: the functions a Windows program imports, one
# "dll!function" a line, the DLL in lower case (Windows matches DLL names
# regardless of case), read from its import tables. An import of another
# form (by ordinal) comes out as "dll!?" and the line, so no list holds it.
pe_imports() {
  "$1" -p "$2" | awk '
    /^The Import Tables/ { on = 1; next }
    on && /^The / { on = 0 }
    on && /DLL Name:/ { dll = tolower($3); next }
    on && dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll "!" $3; next }
    on && dll != "" && /^\t[0-9a-f]+\t/ { sub(/^\t/, ""); print dll "!?" $0 }' | sort -u
}
