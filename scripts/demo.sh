#!/bin/sh
# The demo: installs what is missing, builds, lays a sample installation of the product into the
# build tree's Wine prefix, installs a hotfix on it through the UI robot, page by page, and
# reverts it unattended, comparing the installation with the two trees after each step.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
sh "$ROOT/scripts/install-deps.sh"
sh "$ROOT/scripts/build.sh"
B="$ROOT/build/win"
RUN="$B/wine-run"
sh "$ROOT/scripts/wine-env.sh" up "$B"
trap 'sh "$ROOT/scripts/wine-env.sh" down "$B"' EXIT

DEMO="$B/demo"
rm -rf "$DEMO"; mkdir -p "$DEMO"
W="Z:$(echo "$DEMO" | tr / '\\')"
cd "$B/bin"

echo "== two trees of the sample product: the base release and the hotfix"
mkdir -p "$DEMO/base" "$DEMO/fix"
cp -r "$B/product" "$DEMO/base/program"
cp -r "$B/product" "$DEMO/fix/program"
printf '\nHotfix 21: network library rebuilt.\n' >> "$DEMO/fix/program/nzorel.dll"
printf 'Signature of the hotfix\r\n' > "$DEMO/fix/program/sig/hf21.sf"
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
[Target]
Program=fix\program
INI

echo "== the fix executable, built from the two trees"
"$RUN" zfixbuild.exe build "$W\\fix.ini" -o "$W\\fix.exe"
"$RUN" zfixbuild.exe inspect "$W\\fix.exe" | head -40

echo "== a sample installation of the base release"
"$RUN" zsetup.exe install "$W\\product" --partitions 2

echo "== the installer, driven through its wizard to the finish page"
"$RUN" zrobot.exe --dir "$W" "$W\\fix.exe" \
  dialog=UPZOREL text=1003 click=1021 click=1002 wait=1011:1 text=1003 text=1005 \
  click=1002 wait=1011:2 \
  "wait=1012:Identified Release 14.5.1FP1. Press Next to begin upgrading to Release 14.5.1FP1 HF21" text=1012 \
  click=1002 wait=1011:4 text=1012 click=2 exit

# The release text of the installation, read by the release-string tool.
release() {
  rm -f "$DEMO/product/PROGRAM/currver.txt"
  "$RUN" UpdateVersion.exe "$W\\product\\PROGRAM" myversion read >/dev/null
  tr -d '\r' < "$DEMO/product/PROGRAM/currver.txt"; echo
  rm -f "$DEMO/product/PROGRAM/currver.txt"
}
# Which files of the program directory are those of the tree $1 (the strings library is compared
# by its release text: every run rewrites it).
compare() {
  for f in $(cd "$DEMO/$1/program" && find . -type f ! -name tessra.dll); do
    if cmp -s "$DEMO/$1/program/$f" "$DEMO/product/PROGRAM/$f"; then echo "  same  $f"; else echo "  DIFFERENT  $f"; fi
  done
  for f in $(cd "$DEMO/fix/program" && find . -type f); do
    [ -e "$DEMO/$1/program/$f" ] || { [ -e "$DEMO/product/PROGRAM/$f" ] && echo "  LEFT  $f" || echo "  absent  $f"; }
  done
}
echo "== after the hotfix: release text and files against the hotfix's tree"
release
compare fix
echo "== the backup directory and PATCH.INI the hotfix left"
ls "$DEMO/product/PROGRAM/Release1451FP1"
tr -d '\r' < "$DEMO/product/PROGRAM/PATCH.INI"

echo "== the hotfix reverted unattended to its base label"
"$RUN" zrobot.exe --dir "$W" "$W\\fix.exe nouser revert Release 14.5.1FP1" exit
echo "== after the revert: release text and files against the base release's tree"
release
compare base
[ -e "$DEMO/product/PROGRAM/Release1451FP1" ] && echo "backup directory left" || echo "backup directory removed"
[ -e "$DEMO/product/PROGRAM/PATCH.INI" ] && echo "PATCH.INI left" || echo "PATCH.INI removed: no fix is installed"
echo "== UPGRADE.LOG of the product"
tr -d '\r' < "$DEMO/product/PROGRAM/UPGRADE.LOG"
