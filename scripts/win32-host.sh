#!/bin/sh
# win32-host.sh WHAT-STILL-RUNS
# Exits 0 when this host runs 32-bit x86 code, as the product's Windows programs need: Wine starts
# every 32-bit Windows program through its 32-bit Linux loader. Some hosts run 64-bit user code
# only; there the loader ends with "Exec format error", and this prints one line saying so and what
# still runs, and exits 1. Found by starting that loader itself: Debian's `wine` runs the 64-bit
# loader when wine32 is not installed, so its answer proves nothing about 32-bit code.
set -u
loader=${ZFIX_WINE32_LOADER:-/usr/lib/wine/wine}
# 32-bit programs that run only through a user-mode emulator registered for them (qemu-i386 in
# binfmt_misc) start in about 50 s each under Wine: the Windows suite would take many hours.
binfmt=${ZFIX_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
emulated() {
  for f in "$binfmt"/*; do
    [ -f "$f" ] && grep -qx enabled "$f" 2>/dev/null && grep -q '^interpreter .*qemu-i386' "$f" && return 0
  done
  return 1
}
if [ ! -e "$loader" ]; then
  echo "win32: Wine's 32-bit loader is not installed here ($loader, from wine32:i386), so no 32-bit Windows program can run: $1"
  exit 1
fi
if out=$("$loader" --version 2>&1); then
  if emulated; then
    echo "win32: this host runs 32-bit x86 code only through an emulator (qemu-i386 in binfmt_misc), far too slowly for Windows programs: $1"
    exit 1
  fi
  exit 0
fi
case "$out" in
*"Exec format error"*) why="this host runs no 32-bit x86 code (Wine's 32-bit loader: Exec format error)" ;;
*) why="Wine's 32-bit loader does not start here ($(printf '%s' "$out" | tail -n 1))" ;;
esac
echo "win32: $why, so no 32-bit Windows program can run: $1"
exit 1
