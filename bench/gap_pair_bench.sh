#!/bin/sh
# The patch finder's alignments on files in which blocks were replaced by unrelated bytes: 1 MB
# of code-like bytes (values 0..47) with one 64 KB block, or sixteen 2 KB blocks, written anew.
# For each pair: every alignment's compressed stream (1: the default, 2: longer matches, 3: gaps
# on their matches' diagonals, band 0) and the size the builder keeps, the smallest. The pairs
# are the same on every run (a fixed seed).
# usage: bench/gap_pair_bench.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the native build (with bin/patch_bench).
set -eu
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-gap}
mkdir -p "$WORK"
cd "$WORK"
python3 - <<'PY'
import random
for name, block, count in (("one64k", 65536, 1), ("sixteen2k", 2048, 16)):
    rng = random.Random(name)
    old = bytes(rng.randrange(48) for _ in range(1 << 20))
    new = bytearray(old)
    for k in range(count):
        at = (k + 1) * len(old) // (count + 1)
        new[at:at + block] = bytes(rng.randrange(48) for _ in range(block))
    open(name + ".old", "wb").write(old)
    open(name + ".new", "wb").write(new)
PY
for pair in one64k sixteen2k; do
  "$B/bin/patch_bench" "$pair.old" "$pair.new" > "$pair.txt"
  get() { sed -n "s/^$1 //p" "$pair.txt"; }
  printf '%s: records %s, kept %s bytes;' "$pair" "$(get records)" "$(get patch_compressed)"
  for k in 1 2 3; do printf ' alignment %s: %s' "$k" "$(get alignment_${k}_compressed)"; done
  printf '\n'
done
