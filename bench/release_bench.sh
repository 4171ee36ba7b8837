#!/bin/sh
# A release-scale fixpack of real Windows binaries (bench/release_pair.sh: Wine's 32-bit PE
# files from two Debian builds of one release, laid into the sample product), measured against
# what an administrator might be sent instead:
#   - zfixbuild build (the native builder) on one worker and on every processor: time, peak
#     memory (maximum resident set), the fix's size, and whether the two fixes are the same bytes;
#   - an NSIS installer of the same change (makensis, LZMA, solid, a 64 MB dictionary), carrying
#     the changed and added files whole and deleting the removed ones;
#   - the sum over the changed files of xdelta3 -9 -S djw and of bsdiff patches, the patch-only
#     limit, beside the sum of the builder's payloads for those files (the smaller of its patch
#     and the file imploded whole, as the builder chooses), and of the new files compressed by
#     xdelta3 without the old ones (what the old files are worth to it).
# The unattended install and revert of our fix and NSIS's silent install under Wine are not
# measured yet (they need a host that runs 32-bit x86 code, scripts/win32-host.sh): the last line
# says so.
# Memory is given in MiB (the maximum resident set), sizes in MB (10^6 bytes). The last lines are
#   fix size vs NSIS: X.XXx                        (our fix over NSIS's installer)
#   patch size vs xdelta3 on the real pair: X.XXx  (our payloads over xdelta3's patches)
#   patch size vs bsdiff on the real pair: X.XXx   (the same over bsdiff's)
#   install speed vs NSIS: X.XXx                   (NSIS's install time over ours)
# usage: bench/release_bench.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the Windows build (bin/zfix.exe, the carried tools, product/); the native builder
#   is HOST_BUILD/bin/zfixbuild (default: build/host of this checkout). WORK_DIR (default
#   BUILD_DIR/bench-release) needs about 4 GB; the trees stay there for later runs. Installing
#   what is missing needs root.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-release}
HOST=${HOST_BUILD:-$ROOT/build/host}
ZB=$HOST/bin/zfixbuild
N=$(nproc)
[ "$N" -le 64 ] || N=64  # the builder's most workers
[ -x "$ZB" ] || { echo "release_bench: no native builder at $ZB (scripts/build.sh builds it)" >&2; exit 1; }
[ -f "$B/bin/zfix.exe" ] && [ -d "$B/product" ] || { echo "release_bench: no Windows build at $B" >&2; exit 1; }

# What it needs: makensis, xdelta3, bsdiff, GNU time.
missing=
command -v makensis >/dev/null || missing="$missing nsis"
command -v xdelta3 >/dev/null || missing="$missing xdelta3"
command -v bsdiff >/dev/null || missing="$missing bsdiff"
[ -x /usr/bin/time ] || missing="$missing time"
if [ -n "$missing" ]; then
  echo "== installing$missing"
  apt-get update >/dev/null || true  # a fresh machine may have no package lists yet
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing >/dev/null
fi

mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
echo "== the pair"
sh "$ROOT/bench/release_pair.sh" "$B/product" "$WORK"
cd "$WORK"
printf 'Sample licence of the release benchmark.\r\n' > license.txt
cat > fixpack.ini <<'EOF'
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
EOF

# The change, file by file: changed, added, removed (paths relative to the program directory,
# one a line).
python3 - <<'PY'
import filecmp, os
def files(tree):
    return {os.path.relpath(os.path.join(d, n), tree) for d, _, ns in os.walk(tree) for n in ns}
base, fix = files("base"), files("fix")
changed = sorted(p for p in base & fix if not filecmp.cmp("base/" + p, "fix/" + p, shallow=False))
for name, paths in (("changed", changed), ("added", sorted(fix - base)), ("removed", sorted(base - fix))):
    with open(name + ".list", "w") as f:
        f.write("".join(p + "\n" for p in paths))
size = lambda tree, paths: sum(os.path.getsize(tree + "/" + p) for p in paths)
print("base: %d files, %.1f MB; fix: %d files, %.1f MB" % (len(base), size("base", base) / 1e6, len(fix), size("fix", fix) / 1e6))
print("changed %d (%.1f MB in the fix), added %d, removed %d, unchanged %d" % (
    len(changed), size("fix", changed) / 1e6, len(fix - base), len(base - fix), len(base & fix) - len(changed)))
if not changed:
    raise SystemExit("release_bench: no file changes between the trees")
PY

calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
mb() { awk "BEGIN { printf \"%.1f\", $1 / 1e6 }"; }

echo "== zfixbuild build (native)"
build() {  # build JOBS: FIX-JOBS.exe, build-JOBS.txt, time-JOBS.txt ("SECONDS MAX_RSS_KB")
  /usr/bin/time -f '%e %M' -o "time-$1.txt" "$ZB" build fixpack.ini -o "fix-$1.exe" --stub "$B/bin/zfix.exe" \
    --tools "$B/bin" --jobs "$1" > "build-$1.txt" 2>&1 ||
    { echo "release_bench: the build on $1 worker(s) failed:" >&2; tail -n 5 "build-$1.txt" >&2; exit 1; }
  read -r s kb < "time-$1.txt"
  echo "build on $1 worker(s): $s s, peak memory $(calc "$kb / 1024") MiB"
}
build 1
fix_size=$(stat -c %s fix-1.exe)
if [ "$N" -gt 1 ]; then
  build "$N"
  cmp -s fix-1.exe "fix-$N.exe" && same=yes || same=NO
  echo "fix: $(mb "$fix_size") MB ($fix_size bytes); the builds on 1 and $N workers are the same bytes: $same"
else
  echo "fix: $(mb "$fix_size") MB ($fix_size bytes)"
fi

echo "== NSIS (makensis, LZMA, solid)"
python3 - "$(cd "$WORK/fix" && pwd -P)" <<'PY' > release.nsi
import sys
fix = sys.argv[1]
win = lambda p: p.replace("/", "\\")
print('Unicode false\nSetCompressor /SOLID /FINAL lzma\nSetCompressorDictSize 64\nName "Release 14.5.2"')
print('OutFile "nsis-fixpack.exe"\nInstallDir "C:\\ZOREL"\nRequestExecutionLevel admin\nSilentInstall normal')
print("Section")
dirs = {}
for p in open("changed.list").read().splitlines() + open("added.list").read().splitlines():
    dirs.setdefault(p.rpartition("/")[0], []).append(p)
for d in sorted(dirs):
    print('  SetOutPath "$INSTDIR%s"' % ("\\" + win(d) if d else ""))
    for p in dirs[d]:
        print('  File "%s/%s"' % (fix, p))
for p in open("removed.list").read().splitlines():
    print('  Delete "$INSTDIR\\%s"' % win(p))
print("SectionEnd")
PY
/usr/bin/time -f '%e %M' -o time-nsis.txt makensis -V2 release.nsi > makensis.txt 2>&1 ||
  { echo "release_bench: makensis failed:" >&2; tail -n 5 makensis.txt >&2; exit 1; }
read -r s kb < time-nsis.txt
nsis_size=$(stat -c %s nsis-fixpack.exe)
echo "NSIS installer: $(mb "$nsis_size") MB ($nsis_size bytes), made in $s s, peak memory $(calc "$kb / 1024") MiB"

echo "== xdelta3 -9 and bsdiff of the changed files"
rm -rf patches && mkdir patches
# Each patch is named by the file's line in changed.list.
# shellcheck disable=SC2016
awk '{ printf "%d\t%s\n", NR, $0 }' changed.list | tr '\n' '\0' | xargs -0 -n 1 -P "$N" sh -c '
  k=${1%%	*} f=${1#*	}
  xdelta3 -9 -S djw -f -e -s "base/$f" "fix/$f" "patches/$k.xd3" && bsdiff "base/$f" "fix/$f" "patches/$k.bsdiff" &&
  xdelta3 -9 -S djw -f -e "fix/$f" "patches/$k.alone"' sh
xd_sum=$(cat patches/*.xd3 | wc -c)
bs_sum=$(cat patches/*.bsdiff | wc -c)
alone_sum=$(cat patches/*.alone | wc -c)  # how much the old files help xdelta3 at all
# Our payloads of the changed files, from the build's listing: "N FE_OP DIR_PROGRAM OLD -> NEW
# payload SIZE NAME", the name in Windows-1252 with backslashes. Every changed file must be found.
ours_sum=$(python3 - <<'PY'
import re, sys
want = set(open("changed.list", encoding="utf-8").read().splitlines())
line = re.compile(rb"^ *\d+ FE_\w+ +DIR_PROGRAM +\d+ -> +\d+ +payload +(\d+) +(.*?)\r?$")
total, found = 0, set()
for raw in open("build-1.txt", "rb"):
    m = line.match(raw.rstrip(b"\n"))
    if m:
        name = m.group(2).decode("cp1252").replace("\\", "/")
        if name in want:
            total += int(m.group(1))
            found.add(name)
missing = want - found
if missing:
    sys.exit("release_bench: %d changed files are not in the builder's listing, %s among them" % (len(missing), sorted(missing)[0]))
print(total)
PY
)
echo "changed files' payloads: ours $(mb "$ours_sum") MB, xdelta3 $(mb "$xd_sum") MB, bsdiff $(mb "$bs_sum") MB"
echo "changed files compressed alone (xdelta3 -9 without the old file): $(mb "$alone_sum") MB"

echo "== install and revert under Wine"
# Still to come: our unattended install and revert and NSIS's silent install under Wine, timed on
# identical installations. They need a host that runs 32-bit x86 code.
if sh "$ROOT/scripts/win32-host.sh" "the installs are not measured"; then
  install_line="install speed vs NSIS: not measured (the installs under Wine are not part of this benchmark yet)"
else
  install_line="install speed vs NSIS: not measured on this host (see the win32: line above)"
fi

printf 'fix size vs NSIS: %sx\n' "$(calc "$fix_size / $nsis_size")"
printf 'patch size vs xdelta3 on the real pair: %sx\n' "$(calc "$ours_sum / $xd_sum")"
printf 'patch size vs bsdiff on the real pair: %sx\n' "$(calc "$ours_sum / $bs_sum")"
echo "$install_line"
