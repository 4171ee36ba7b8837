#!/bin/sh
# Packs and unpacks a tree of 10,000 files and 300 MB with cabarc.exe (under Wine, the
# component updaters' command forms) and with Linux gcab, checks both round trips byte for
# byte, and prints the wall-clock times.
# usage: bench/cabarc_roundtrip.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the Windows build (with bin/cabarc.exe and wine-run); WORK_DIR needs about 1.6 GB.
set -eu
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-cabarc}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUN="$B/wine-run"
CABARC="$B/bin/cabarc.exe"
sh "$ROOT/scripts/wine-env.sh" up "$B" >/dev/null

rm -rf "$WORK"
mkdir -p "$WORK/src"
# 10,000 files in 100 directories two levels deep: 100 incompressible files of 2 MB (200 MB)
# and 9,900 text-like files of about 10 KB (100 MB).
python3 - "$WORK/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20261210)
words = [("w%d" % i).encode() for i in range(4000)]
total = 0
for i in range(10000):
    d = os.path.join(root, "tree", "d%02d" % (i % 10), "s%02d" % (i // 10 % 10))
    os.makedirs(d, exist_ok=True)
    if i % 100 == 0:
        data = os.urandom(2 * 1024 * 1024)
    else:
        n = 10600 + rng.randrange(-2000, 2000)
        data = b" ".join(rng.choice(words) for _ in range(n // 5))[:n]
    with open(os.path.join(d, "file%05d.dat" % i), "wb") as f:
        f.write(data)
    total += len(data)
print("tree: 10000 files, %.1f MB" % (total / 1e6))
PY

now() { date +%s.%N; }
elapsed() { echo "$1 $2" | awk '{printf "%.1f", $2 - $1}'; }

t0=$(now)
(cd "$WORK/src" && "$RUN" "$CABARC" -r -p n '..\cabarc.cab' 'tree\*' >/dev/null)
t1=$(now)
mkdir -p "$WORK/out-cabarc"
(cd "$WORK" && "$RUN" "$CABARC" -p -o x cabarc.cab '*' 'out-cabarc\' >/dev/null)
t2=$(now)
(cd "$WORK/src" && gcab -c -z ../gcab.cab tree)
t3=$(now)
mkdir -p "$WORK/out-gcab"
gcab -x -C "$WORK/out-gcab" "$WORK/gcab.cab"
t4=$(now)

diff -r "$WORK/src" "$WORK/out-cabarc" >/dev/null && cabarc_ok=yes || cabarc_ok=NO
diff -r "$WORK/src" "$WORK/out-gcab" >/dev/null && gcab_ok=yes || gcab_ok=NO
folders=$(python3 -c "import struct,sys; print(struct.unpack('<H', open(sys.argv[1],'rb').read(36)[26:28])[0])" "$WORK/cabarc.cab")
printf '%-8s %8s %10s %12s %10s\n' tool "pack s" "unpack s" "cabinet MB" identical
printf '%-8s %8s %10s %12s %10s\n' cabarc "$(elapsed "$t0" "$t1")" "$(elapsed "$t1" "$t2")" \
  "$(stat -c %s "$WORK/cabarc.cab" | awk '{printf "%.1f", $1 / 1e6}')" "$cabarc_ok"
printf '%-8s %8s %10s %12s %10s\n' gcab "$(elapsed "$t2" "$t3")" "$(elapsed "$t3" "$t4")" \
  "$(stat -c %s "$WORK/gcab.cab" | awk '{printf "%.1f", $1 / 1e6}')" "$gcab_ok"
echo "cabarc cabinet folders: $folders"
rm -rf "$WORK"
[ "$cabarc_ok" = yes ] && [ "$gcab_ok" = yes ]
