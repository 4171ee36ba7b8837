#!/bin/sh
# The demo: installs what is missing, builds, lays a sample installation of the product into the
# build tree's Wine prefix, installs a hotfix on it through the UI robot, page by page, and
# reverts it unattended, comparing the installation with the two trees after each step. It runs
# the product (build/win) where the host runs 32-bit code, and its 64-bit twin (build/win64) where
# it does not.
# ZFIX_DEMO_TREE=build/win (or build/win64) runs it on that tree as it is built, without installing
# or building anything (the i686 smoke run in an emulated guest does so).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${ZFIX_DEMO_TREE:-}" ]; then
  B="$ROOT/$ZFIX_DEMO_TREE"; echo "demo: the programs of $ZFIX_DEMO_TREE, as built"
else
  sh "$ROOT/scripts/install-deps.sh"
  if sh "$ROOT/scripts/win32-host.sh" "the demo runs the 64-bit twin of the Windows programs (build/win64)"; then
    B="$ROOT/build/win"; echo "demo: the product's programs (build/win, i686)"
  else
    B="$ROOT/build/win64"; echo "demo: the 64-bit twin's programs (build/win64, x86_64)"
  fi
  sh "$ROOT/scripts/build.sh"
fi
RUN="$B/wine-run"
sh "$ROOT/scripts/wine-env.sh" up "$B"
trap 'sh "$ROOT/scripts/wine-env.sh" down "$B"' EXIT

DEMO="$B/demo"
rm -rf "$DEMO"; mkdir -p "$DEMO"
W="Z:$(echo "$DEMO" | tr / '\\')"
cd "$B/bin"

echo "== two trees of the sample product: the base release and the hotfix"
mkdir -p "$DEMO/base/data/templates" "$DEMO/fix/data/templates"
cp -r "$B/product" "$DEMO/base/program"
cp -r "$B/product" "$DEMO/fix/program"
printf '\nHotfix 21: network library rebuilt.\n' >> "$DEMO/fix/program/nzorel.dll"
printf 'Signature of the hotfix\r\n' > "$DEMO/fix/program/sig/hf21.sf"
printf 'Report template, release 14.5.1FP1\r\n' > "$DEMO/base/data/templates/report.tpl"
printf 'Report template, release 14.5.1FP1 HF21 (totals per partition)\r\n' > "$DEMO/fix/data/templates/report.tpl"
"$RUN" UpdateVersion.exe "$W\\fix\\program" "Release 14.5.1FP1 HF21|September 21, 2026" write
printf 'Sample licence of the demo hotfix.\r\n' > "$DEMO/license.txt"
cat > "$DEMO/fix.ini" <<'INI'
[Fix]
Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21
Kind=hotfix
BaseLabel=Release 14.5.1FP1|May 21, 2026
FixLabel=Release 14.5.1FP1 HF21|September 21, 2026
StringsLibrary=tessra.dll
License=license.txt
[Base]
Program=base\program
Data=base\data
[Target]
Program=fix\program
Data=fix\data
INI

echo "== the fix executable, built from the two trees"
"$RUN" zfixbuild.exe build "$W\\fix.ini" -o "$W\\fix.exe"
"$RUN" zfixbuild.exe inspect "$W\\fix.exe" | head -40

echo "== a sample installation of the base release"
"$RUN" zsetup.exe install "$W\\product" --partitions 2
for d in DATA1 DATA2; do cp -r "$DEMO/base/data/templates" "$DEMO/product/$d/"; done
# What the installation holds before the fix: path, size and checksum of every file.
snapshot() { (cd "$DEMO/product" && find . -type f ! -name UPGRADE.LOG -exec cksum {} + | sort -k3); }
snapshot > "$DEMO/before.txt"

echo "== the installer, driven through its wizard to the finish page"
"$RUN" zrobot.exe --dir "$W" "$W\\fix.exe" \
  dialog=UPZOREL text=1003 click=1021 click=1002 wait=1011:1 text=1003 text=1005 \
  click=1002 wait=1011:2 \
  "wait=1012:Identified Release 14.5.1FP1. Press Next to begin upgrading to Release 14.5.1FP1 HF21" text=1012 \
  click=1002 wait=1011:4 "wait=1012:Congratulations, you have successfully upgraded this product." text=1012 \
  click=2 exit

# What differs between two snapshots.
differences() {
python3 - "$1" "$2" <<'PY'
import sys
def read(p):
    files = {}
    for line in open(p):
        crc, size, path = line.split(None, 2)
        files[path.strip()] = (crc, size)
    return files
before, after = read(sys.argv[1]), read(sys.argv[2])
for path in sorted(set(before) | set(after)):
    if path not in after:
        print("removed  %s" % path)
    elif path not in before:
        kind = "backup  " if path.upper().endswith(".IIB") else "added   "
        print("%s %s (%s bytes)" % (kind, path, after[path][1]))
    elif before[path] != after[path]:
        print("changed  %s (%s -> %s bytes)" % (path, before[path][1], after[path][1]))
PY
}
release() {
  "$RUN" UpdateVersion.exe "$W\\product\\PROGRAM" myversion read
  echo "release text of tessra.dll: $(cat "$DEMO/product/PROGRAM/currver.txt")"
  rm -f "$DEMO/product/PROGRAM/currver.txt"
}

echo "== what changed in the installation"
snapshot > "$DEMO/after.txt"
differences "$DEMO/before.txt" "$DEMO/after.txt"
release

echo "== the hotfix reverted unattended to its base label"
"$RUN" zrobot.exe --dir "$W" "$W\\fix.exe nouser revert Release 14.5.1FP1" exit
echo "== what differs from the installation before the fix"
# Expected: ZOREL.INI of each data directory (CFP_LP_PREV names the reverted hotfix), tessra.dll,
# whose release text the release-string tool wrote back (the same text, written anew), and
# currver.txt, where the installer read the installed release text.
snapshot > "$DEMO/reverted.txt"
differences "$DEMO/before.txt" "$DEMO/reverted.txt"
release
echo "== UPGRADE.LOG of the product (the upgrade engine's and the revert's parts)"
tr -d '\r' < "$DEMO/product/PROGRAM/UPGRADE.LOG" | sed -n '/UpgradeZorelVersion: Starting/,$p' | grep -v FindAndLoadRes
