#!/bin/sh
# full_disk.sh BUILD_DIR: runs the engine's full-disk test on a real full disk: a 2 MB tmpfs
# mounted at BUILD_DIR/scratch-full-engine and mapped as a free drive letter of the build's Wine
# prefix (root only; exit code 77, "skipped", elsewhere).
B=$(cd "$1" && pwd)
M="$B/scratch-full-engine"
D="$B/wineprefix/dosdevices"
mkdir -p "$M"
if ! mount -t tmpfs -o size=2m tmpfs "$M" 2>/dev/null; then
  echo "full_disk: cannot mount a tmpfs here; skipped"
  exit 77
fi
L=
for l in q r s t u v w x y; do
  if [ ! -e "$D/$l:" ] && [ ! -L "$D/$l:" ]; then L=$l; break; fi
done
if [ -z "$L" ]; then
  umount "$M"
  echo "full_disk: no free drive letter in $D"
  exit 1
fi
ln -s "$M" "$D/$L:"
trap 'rm -f "$D/$L:"; umount "$M"' EXIT
ZFIX_FULL_DRIVE="$(echo "$L" | tr a-z A-Z):" "$B/wine-run" "$B/bin/hostile_engine_tests.exe" --gtest_filter='EngineFullDisk.*'
