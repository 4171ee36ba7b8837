#!/bin/sh
# Installs what is missing, builds the trees and runs every test: native, native under the
# sanitizers, and the Windows suite under Wine: on the product (build/win) where the host runs
# 32-bit code, on its 64-bit twin (build/win64) where it does not (scripts/run-suites.sh).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
sh "$ROOT/scripts/install-deps.sh"
if sh "$ROOT/scripts/win32-host.sh" "the Windows suite runs on the 64-bit twin (build/win64)"; then
  WIN=build/win WHAT="the product, i686"
else
  WIN=build/win64 WHAT="the 64-bit twin, x86_64"
fi
sh "$ROOT/scripts/build.sh"
cd "$ROOT"
exec sh scripts/run-suites.sh "$WIN" "$WHAT"
