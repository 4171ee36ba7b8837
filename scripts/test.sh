#!/bin/sh
# Installs what is missing, builds the trees and runs every test: native, native under the
# sanitizers, and Windows under Wine.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
sh "$ROOT/scripts/install-deps.sh"
win32=yes
sh "$ROOT/scripts/win32-host.sh" "the Windows programs are built, the native and sanitizer tests run, the Windows suite is not run" || win32=no
sh "$ROOT/scripts/build.sh"
cd "$ROOT"
status=0
ctest --test-dir build/host --output-on-failure -j 2 || status=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j 2 || status=1
if [ "$win32" = yes ]; then
  ctest --test-dir build/win --output-on-failure || status=1
else
  echo "Windows suite (build/win): not run on this host (see the win32: line above)"
fi
exit $status
