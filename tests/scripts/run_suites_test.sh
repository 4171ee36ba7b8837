#!/bin/sh
# run_suites_test.sh SCRIPT SCRATCH: scripts/run-suites.sh, which runs the three suites of the test
# command, against a `ctest` first on PATH that answers for each tree as a passing suite does, as a
# suite with one failed test does, and as one that found no test: the command passes only when
# every suite ran tests and all passed, and its closing lines say so.
set -u
script=$1 scratch=$2
rm -rf "$scratch"; mkdir -p "$scratch"
fails=0 passes=0
check() {  # NAME WINDOWS-ANSWER EXPECTED-EXIT EXPECTED-LINE
  mkdir -p "$scratch/$1"
  cat > "$scratch/$1/ctest" <<FAKE
#!/bin/sh
case "\$2" in
build/win64) $2 ;;
*) echo "100% tests passed, 0 tests failed out of 3"; exit 0 ;;
esac
FAKE
  chmod +x "$scratch/$1/ctest"
  out=$(cd "$scratch" && PATH="$scratch/$1:$PATH" sh "$script" build/win64 "the 64-bit twin, x86_64" 2>&1); rc=$?
  if [ "$rc" = "$3" ] && printf '%s\n' "$out" | grep -qF "$4" && printf '%s\n' "$out" | grep -qx 'Windows suite: build/win64 (the 64-bit twin, x86_64)'; then
    passes=$((passes + 1))
  else
    echo "FAIL $1: exit $rc (want $3), output:"; printf '%s\n' "$out"
    fails=$((fails + 1))
  fi
}
check all-pass 'echo "100% tests passed, 0 tests failed out of 250"; exit 0' 0 "all: 256 passed, 0 failed"
check one-fails 'echo "99% tests passed, 1 tests failed out of 250"; exit 8' 1 "all: 255 passed, 1 failed"
check exit-only 'echo "100% tests passed, 0 tests failed out of 250"; exit 8' 1 "test command: a suite failed or ran no test"
check none-ran 'echo "No tests were found!!!"; exit 8' 1 "(FAILED: no test ran)"
echo "$passes passed, $fails failed"
[ "$fails" = 0 ]
