#!/bin/sh
# run-suites.sh WINDOWS-TREE WHAT
# Runs the built trees' tests: native (build/host), native under the sanitizers (build/asan) and
# the Windows suite of WINDOWS-TREE (build/win, the product, or build/win64, its 64-bit twin; WHAT
# says which in the output). A suite that fails, or that runs no test, fails the run; the closing
# lines give each suite's counts and time, then the sum of all.
set -eu
WIN=$1 WHAT=$2
LOGS=$(mktemp -d)
trap 'rm -rf "$LOGS"' EXIT
status=0
summary=""
total_pass=0 total_fail=0
# suite NAME TREE [ctest options]: runs one tree's tests and keeps its counts for the closing lines.
suite() {
  name=$1 tree=$2; shift 2
  start=$(date +%s)
  ok=yes
  rm -f "$LOGS/failed"
  { ctest --test-dir "$tree" --output-on-failure --no-tests=error "$@" 2>&1 || touch "$LOGS/failed"; } | tee "$LOGS/$name.log"
  [ ! -e "$LOGS/failed" ] || ok=no
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$LOGS/$name.log" | tail -n 1)
  if [ -n "$line" ]; then
    total=$(printf '%s' "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
    failed=$(printf '%s' "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
  else
    total=0 failed=0 ok=no
  fi
  [ "$total" -gt 0 ] && [ "$failed" = 0 ] || ok=no
  [ "$ok" = yes ] || status=1
  passed=$((total - failed))
  total_pass=$((total_pass + passed)); total_fail=$((total_fail + failed))
  note=""
  [ "$ok" = yes ] || note=" (FAILED)"
  [ "$total" -gt 0 ] || note=" (FAILED: no test ran)"
  summary="$summary$(printf '%-28s %d passed, %d failed, in %d s%s' "$name ($tree):" "$passed" "$failed" "$(( $(date +%s) - start ))" "$note")
"
}
suite native build/host -j 2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
suite sanitizers build/asan -j 2
echo "Windows suite: $WIN ($WHAT)"
suite windows "$WIN"
echo
printf '%s' "$summary"
[ "$status" = 0 ] || echo "test command: a suite failed or ran no test"
echo "all: $total_pass passed, $total_fail failed"
exit $status
