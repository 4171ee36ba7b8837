#!/bin/sh
# Installs what is missing, builds the trees and runs every test: native, native under the
# sanitizers, and the Windows suite under Wine: on the product (build/win) where the host runs
# 32-bit code, on its 64-bit twin (build/win64) where it does not. A suite that fails, or that runs
# no test, fails the command; the closing lines give each suite's counts and time.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
sh "$ROOT/scripts/install-deps.sh"
if sh "$ROOT/scripts/win32-host.sh" "the Windows suite runs on the 64-bit twin (build/win64)"; then
  WIN=build/win WHAT="the product, i686"
else
  WIN=build/win64 WHAT="the 64-bit twin, x86_64"
fi
sh "$ROOT/scripts/build.sh"
cd "$ROOT"
LOGS=$(mktemp -d)
status=0
summary=""
total_pass=0 total_fail=0
# suite NAME TREE [ctest options]: runs one tree's tests and keeps its counts for the closing lines.
suite() {
  name=$1 tree=$2; shift 2
  start=$(date +%s)
  rc=0
  ctest --test-dir "$tree" --output-on-failure --no-tests=error "$@" 2>&1 | tee "$LOGS/$name.log" || true
  grep -q '^100% tests passed' "$LOGS/$name.log" || rc=1
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$LOGS/$name.log" | tail -n 1)
  total=$(printf '%s' "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
  failed=$(printf '%s' "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/')
  [ -n "$total" ] || { total=0; failed=0; rc=1; }
  [ "$total" -gt 0 ] || rc=1
  [ "$rc" = 0 ] || status=1
  passed=$((total - failed))
  total_pass=$((total_pass + passed)); total_fail=$((total_fail + failed))
  summary="$summary$(printf '%-28s %5d passed, %d failed, in %d s' "$name ($tree):" "$passed" "$failed" "$(( $(date +%s) - start ))")
"
}
suite native build/host -j 2
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1
suite sanitizers build/asan -j 2
echo "Windows suite: $WIN ($WHAT)"
suite windows "$WIN"
rm -rf "$LOGS"
echo
printf '%s' "$summary"
[ "$status" = 0 ] || echo "test command: some suite failed or ran no test"
echo "all: $total_pass passed, $total_fail failed"
exit $status
