#!/bin/sh
# Installs a fixpack of about 2,000 files and 200 MB (patched, replaced, added and removed files)
# with zfix.exe unattended under Wine, then copies the same bytes (every file the fix writes) into
# the same installation with the Wine command shell's xcopy, and prints both times and their ratio.
# The installation is compared with the fix's tree before the copy.
# usage: bench/install_bench.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the Windows build (bin/zfix.exe, zfixbuild.exe, zsetup.exe, wine-run); WORK_DIR
#   needs about 1 GB.
set -eu
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-install}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUN="$B/wine-run"
sh "$ROOT/scripts/wine-env.sh" up "$B" >/dev/null
# The installations of the rounds are removed when the benchmark ends, not before a round: see
# the rounds below.
trap 'rm -rf "$WORK"/product*; sh "$ROOT/scripts/wine-env.sh" down "$B" >/dev/null' EXIT

# The trees are made once per WORK_DIR (remove it for new ones); the fixpack is built anew each
# time, since it carries the installer as built.
mkdir -p "$WORK"
rm -rf "$WORK"/product* "$WORK/fixpack.exe"
win() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

# The trees: the sample product plus 1,900 text-like files of 20 to 200 KB in 40 folders; the fix
# patches 1,200 of them (a few bytes each), rewrites 450, removes 150, leaves 100 and adds 250.
if [ ! -f "$WORK/trees-ready" ]; then
rm -rf "$WORK/base" "$WORK/fix" "$WORK/delta"
cp -r "$B/product" "$WORK/base"
python3 - "$WORK" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(20261210)
words = [("w%d" % i).encode() for i in range(5000)]
def text(n):
    return b" ".join(rng.choice(words) for _ in range(n // 5 + 1))[:n]
def put(tree, rel, data):
    p = os.path.join(work, tree, rel)
    os.makedirs(os.path.dirname(p), exist_ok=True)
    with open(p, "wb") as f:
        f.write(data)
written = 0
for i in range(2150):
    rel = os.path.join("mod%02d" % (i % 40), "file%04d.dat" % i)
    n = rng.randrange(20000, 200000)
    if i >= 1900:                       # added
        data = text(n); put("fix", rel, data); written += len(data); continue
    old = text(n)
    put("base", rel, old)
    if i < 1200:                        # patched: a few bytes changed in place
        new = bytearray(old)
        for k in range(1 + n // 40000):
            j = rng.randrange(0, n - 16)
            new[j:j + 8] = b"PATCHED!"
        put("fix", rel, bytes(new)); written += n
    elif i < 1650:                      # rewritten
        data = text(rng.randrange(20000, 200000)); put("fix", rel, data); written += len(data)
    elif i < 1800:                      # removed
        pass
    else:                               # unchanged
        put("fix", rel, old)
print("fix writes %.1f MB" % (written / 1e6))
PY
# The product's own files and component trees travel unchanged but for the release text.
cp -r "$B/product/." "$WORK/fix/"
mkdir -p "$WORK/base-data" "$WORK/fix-data"
"$RUN" "$B/bin/UpdateVersion.exe" "$(win "$WORK/fix")" "Release 14.5.2|October 1, 2026" write >/dev/null
cat > "$WORK/fixpack.ini" <<'INI'
[Fix]
Title=Release 14.5.1FP1 -> Release 14.5.2
Kind=fixpack
BaseLabel=Release 14.5.1FP1|May 21, 2026
FixLabel=Release 14.5.2|October 1, 2026
License=license.txt
[Base]
Program=base
Data=base-data
[Target]
Program=fix
Data=fix-data
INI
# The files the fix writes, for the copy.
python3 - "$WORK" <<'PY'
import filecmp, os, shutil, sys
work = sys.argv[1]
fix, base, delta = (os.path.join(work, d) for d in ("fix", "base", "delta"))
for dirpath, _, names in os.walk(fix):
    for name in names:
        src = os.path.join(dirpath, name)
        rel = os.path.relpath(src, fix)
        old = os.path.join(base, rel)
        if not os.path.exists(old) or not filecmp.cmp(src, old, shallow=False):
            dst = os.path.join(delta, rel)
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            shutil.copyfile(src, dst)
PY

touch "$WORK/trees-ready"
fi
printf 'Sample licence of the benchmark fixpack.\r\n' > "$WORK/license.txt"
echo "== building the fixpack"
t0=$(date +%s.%N)
"$RUN" "$B/bin/zfixbuild.exe" build "$(win "$WORK/fixpack.ini")" -o "$(win "$WORK/fixpack.exe")" > "$WORK/build.txt"
t1=$(date +%s.%N)
echo "$(grep -c ' FE_' "$WORK/build.txt" || true) entries, fixpack.exe $(du -m "$WORK/fixpack.exe" | cut -f1) MB, built in $(echo "$t0 $t1" | awk '{printf "%.1f", $2 - $1}') s"

# Two rounds on fresh installations, each the install and then the copy; the machine is shared,
# so the faster time of each counts.
# Each round lays its installation under a new name and none is deleted until the end: on ext4
# without a journal (as on this machine), a file created within a few minutes of a mass deletion
# nearby walks past each of the freed inodes first (the file system avoids reusing them soon).
# Removing the previous installation before a round made the install (3,700 new names) pay for
# it, and the copy (no new names) not.
best_install=""; best_copy=""
for round in 1 2; do
echo "== round $round"
"$RUN" "$B/bin/zsetup.exe" remove >/dev/null 2>&1 || true
"$RUN" "$B/bin/zsetup.exe" install "$(win "$WORK/product$round")" --files "$(win "$WORK/base")" >/dev/null
P="$WORK/product$round/PROGRAM"
sync

echo "== installing the fixpack unattended"
t0=$(date +%s.%N)
code=0
# Start-up unpacks the licence as license.txt into the current directory and deletes it again.
mkdir -p "$WORK/run"
(cd "$WORK/run" && "$RUN" "$(win "$WORK/fixpack.exe")" nouser) || code=$?
t1=$(date +%s.%N)
install=$(echo "$t0 $t1" | awk '{printf "%.2f", $2 - $1}')
echo "exit code $code, $install s"
[ "$code" = 0 ] || { tail -30 "$P/UPGRADE.LOG"; exit 1; }
python3 - "$WORK/fix" "$P" <<'PY'
import filecmp, os, sys
fix, prog = sys.argv[1], sys.argv[2]
bad = 0
for dirpath, _, names in os.walk(fix):
    for name in names:
        rel = os.path.relpath(os.path.join(dirpath, name), fix)
        if not filecmp.cmp(os.path.join(fix, rel), os.path.join(prog, rel), shallow=False):
            bad += 1
left = sum(1 for d, _, n in os.walk(prog) for x in n if x.upper().startswith("UPTMP"))
print("installation equals the fix tree: %s; temporary files left: %d" % ("yes" if bad == 0 else "NO (%d differ)" % bad, left))
PY

echo "== copying the same files into the same installation"
sync
t0=$(date +%s.%N)
"$RUN" cmd /c xcopy /E /Y /Q /I "$(win "$WORK/delta")" "$(win "$P")" >/dev/null
t1=$(date +%s.%N)
copy=$(echo "$t0 $t1" | awk '{printf "%.2f", $2 - $1}')
echo "copy: $copy s"
best_install=$(echo "$install ${best_install:-$install}" | awk '{print ($1 < $2) ? $1 : $2}')
best_copy=$(echo "$copy ${best_copy:-$copy}" | awk '{print ($1 < $2) ? $1 : $2}')
done
install=$best_install; copy=$best_copy
"$RUN" "$B/bin/zsetup.exe" remove >/dev/null 2>&1 || true
echo "install: $install s, copy: $copy s (the faster of two rounds each)"
echo "$install $copy" | awk '{printf "install speed vs copy: %.2fx\n", $2 / $1}'
