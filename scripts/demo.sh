#!/bin/sh
# The demo: installs what is missing, builds, lays a sample installation of the product into the
# build tree's Wine prefix, and runs the installer on it through the UI robot, page by page.
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
echo "== sample installation"
"$RUN" zsetup.exe install "$W\\product" --partitions 2
echo "== fix executable"
"$RUN" zmkfix.exe "$W\\fix.exe"
echo "== the installer, driven through its wizard"
"$RUN" zrobot.exe --dir "$W" "$W\\fix.exe" \
  dialog=UPZOREL text=1003 click=1021 click=1002 wait=1011:1 text=1003 text=1005 text=1007 \
  click=1002 wait=1011:2 text=1012 click=2 exit || true
echo "== UPGRADE.LOG of the product"
cat "$DEMO/product/PROGRAM/UPGRADE.LOG" | tr -d '\r'
