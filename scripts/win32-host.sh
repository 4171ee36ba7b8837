#!/bin/sh
# win32-host.sh WHAT-STILL-RUNS
# Exits 0 when this host runs 32-bit x86 code, as the Windows programs need: Wine starts every
# 32-bit Windows program through its 32-bit Linux loader. Some hosts run 64-bit user code only;
# there the loader ends with "Exec format error", and this prints one line saying so and what still
# runs, and exits 1. Found by trying the loader, not by reading versions.
set -u
out=$(wine --version 2>&1) && exit 0
case "$out" in
*"Exec format error"*) why="this host runs no 32-bit x86 code (Wine's 32-bit loader: Exec format error)" ;;
*) why="Wine's 32-bit loader does not start here ($(printf '%s' "$out" | tail -n 1))" ;;
esac
echo "win32: $why, so no Windows program can run: $1"
exit 1
