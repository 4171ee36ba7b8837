#!/bin/sh
# full_disk.sh BUILD_DIR: runs the component test that needs a full disk on a real one: a small
# tmpfs mounted at BUILD_DIR/scratch-full (root only; exit code 77, "skipped", elsewhere).
B=$(cd "$1" && pwd)
M="$B/scratch-full"
mkdir -p "$M"
if ! mount -t tmpfs -o size=1m tmpfs "$M" 2>/dev/null; then
  echo "full_disk: cannot mount a tmpfs here; skipped"
  exit 77
fi
trap 'umount "$M"' EXIT
"$B/wine-run" "$B/bin/component_tests.exe" --gtest_filter=ComponentTest.FullDiskPackLeavesTheTreeAsItIs
