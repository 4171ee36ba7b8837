#!/bin/sh
# zfixbuild implode/explode from the command line: round trips with every dictionary size and
# clear failures on damaged input.  Usage: zfixbuild_test.sh WORKDIR RUNNER... ZFIXBUILD
set -u
W=$1; shift
mkdir -p "$W" && cd "$W" || exit 1
fail=0
check() {  # check DESCRIPTION EXPECTED_STATUS COMMAND...
  what=$1; want=$2; shift 2
  "$@" >out.txt 2>err.txt; got=$?
  if [ "$want" = 0 ] && [ "$got" != 0 ]; then echo "FAIL: $what: exit $got: $(cat err.txt)"; fail=1; fi
  if [ "$want" = 1 ] && [ "$got" = 0 ]; then echo "FAIL: $what: should have failed"; fail=1; fi
}
i=0; : > sample.bin
while [ $i -lt 300 ]; do echo "line $i of the sample, with some repeated words words words" >> sample.bin; i=$((i+1)); done
head -c 20000 /dev/urandom >> sample.bin 2>/dev/null || true
: > empty.bin

for f in sample.bin empty.bin; do
  for opt in "" "--dict 1024" "--dict 2048" "--dict 4096" "--ascii" "--greedy"; do
    # shellcheck disable=SC2086
    check "implode $f $opt" 0 "$@" implode "$f" "$f.z" $opt
    check "explode $f $opt" 0 "$@" explode "$f.z" "$f.out"
    cmp -s "$f" "$f.out" || { echo "FAIL: round trip of $f with '$opt'"; fail=1; }
  done
done
"$@" implode sample.bin d4.z --dict 1024 && [ "$(od -An -tu1 -j5 -N1 d4.z | tr -d ' ')" = 4 ] ||
  { echo "FAIL: --dict 1024 should write dictionary bits 4"; fail=1; }

"$@" implode sample.bin good.z
n=$(wc -c < good.z)
head -c $((n / 2)) good.z > truncated.z
check "explode of a truncated stream" 1 "$@" explode truncated.z x.out
grep -q "damaged" err.txt || { echo "FAIL: no clear message for a truncated stream: $(cat err.txt)"; fail=1; }
head -c 3 good.z > tiny.z
check "explode of a 3-byte file" 1 "$@" explode tiny.z x.out
{ printf '\001\000\000\000'; tail -c +5 good.z; } > oversized.z
check "explode of a stream longer than its stored size" 1 "$@" explode oversized.z x.out
check "implode with a bad --dict" 1 "$@" implode sample.bin x.z --dict 8192
check "unknown subcommand" 1 "$@" frobnicate
exit $fail
