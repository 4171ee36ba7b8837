#!/bin/sh
# Build time of a fixpack of 2,000 changed files with zfixbuild on one worker and on every
# processor (--jobs), and a check that both executables are the same bytes. The files: 1,000
# man pages (text, a few lines edited in the fix) and 1,000 pieces of the system's shared
# libraries (binary, a few bytes changed in the fix), 2 to 60 KB each.
# The last line is "build speed-up on N cores: X.XXx" (the time on one worker over the time on N).
# usage: bench/build_bench.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the Windows build (bin/zfixbuild.exe, zfix.exe and the carried tools, wine-run).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-build}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
N=$(nproc)

if [ ! -f "$WORK/trees.done" ]; then
  rm -rf "$WORK/base" "$WORK/fix"
  mkdir -p "$WORK/base/program/text" "$WORK/base/program/lib" "$WORK/fix/program/text" "$WORK/fix/program/lib"
  i=0
  for f in $(LC_ALL=C ls /usr/share/man/man1/*.gz | head -n 1000); do
    i=$((i + 1))
    name=$(printf 'text/page%04d.txt' $i)
    zcat "$f" 2>/dev/null | head -c $((2048 + (i * 7919) % 59392)) > "$WORK/base/program/$name"
    sed '1~25s/e/E/g' "$WORK/base/program/$name" > "$WORK/fix/program/$name"
    cmp -s "$WORK/base/program/$name" "$WORK/fix/program/$name" && printf 'edited\n' >> "$WORK/fix/program/$name"
  done
  libs=$(LC_ALL=C ls -S /usr/lib/x86_64-linux-gnu/*.so.* | head -n 50)
  j=0
  while [ $j -lt 1000 ]; do
    for lib in $libs; do
      [ $j -lt 1000 ] || break
      j=$((j + 1))
      name=$(printf 'lib/part%04d.bin' $j)
      size=$((2048 + (j * 104729) % 59392))
      dd if="$lib" of="$WORK/base/program/$name" bs=1024 skip=$((j * 3)) count=$((size / 1024)) 2>/dev/null
      cp "$WORK/base/program/$name" "$WORK/fix/program/$name"
      printf 'fix%04d' $j | dd of="$WORK/fix/program/$name" bs=1 seek=$((size / 3)) conv=notrunc 2>/dev/null
      printf 'FIX%04d' $j | dd of="$WORK/fix/program/$name" bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
    done
  done
  printf 'Benchmark licence.\r\n' > "$WORK/license.txt"
  cat > "$WORK/fixpack.ini" <<'EOF'
[Fix]
Title=Release 14.5.1 -> Release 14.5.1FP1
Kind=fixpack
BaseLabel=Release 14.5.1|January 9, 2026
FixLabel=Release 14.5.1FP1|May 21, 2026
License=license.txt
[Base]
Program=base\program
[Target]
Program=fix\program
EOF
  touch "$WORK/trees.done"
fi

now() { date +%s.%N; }
# Wine is brought up (and down again) here unless a test run already has it up.
if [ -f "$B/wine-display" ] && kill -0 "$(cat "$B/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
  :
else
  sh "$ROOT/scripts/wine-env.sh" up "$B" >/dev/null
  trap 'sh "$ROOT/scripts/wine-env.sh" down "$B" >/dev/null 2>&1' EXIT
fi
cd "$B/bin"
build() {  # build JOBS OUT: prints the seconds
  t0=$(now)
  "$B/wine-run" zfixbuild.exe build "$WORK/fixpack.ini" -o "$2" --jobs "$1" > "$WORK/build-$1.log" 2>&1 || { echo "build_bench: the build on $1 worker(s) failed:" >&2; tail -n 5 "$WORK/build-$1.log" >&2; exit 1; }
  t1=$(now)
  awk "BEGIN { printf \"%.2f\", $t1 - $t0 }"
}
t1=$(build 1 "$WORK/fix-1.exe")
tn=$(build "$N" "$WORK/fix-$N.exe")
files=$(grep -c '^ *[0-9][0-9]* ' "$WORK/build-1.log")
cmp -s "$WORK/fix-1.exe" "$WORK/fix-$N.exe" && same=yes || same=NO
printf 'fixpack: %s files, %s bytes in the fix tree\n' "$files" "$(du -sb "$WORK/fix/program" | cut -f1)"
printf 'build on 1 worker: %s s\n' "$t1"
printf 'build on %s workers: %s s\n' "$N" "$tn"
printf 'the two fix executables are the same bytes: %s\n' "$same"
printf 'build speed-up on %s cores: %.2fx\n' "$N" "$(awk "BEGIN { print $t1 / $tn }")"
[ "$same" = yes ]
