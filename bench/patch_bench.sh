#!/bin/sh
# Patch payload sizes and build times of the package builder on real pairs of versions of one
# binary (Debian's libc.so.6 and libcrypto.so.3), beside xdelta3 -9 -S djw, bsdiff and the new
# file compressed whole. The last two lines are our payload over xdelta3's on the libc pair and
# our payload over bsdiff's on the pair where that ratio is worse.
# usage: bench/patch_bench.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the native build (with bin/patch_bench); the packages come from apt-get download.
set -eu
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-patch}
PATCH_BENCH="$B/bin/patch_bench"
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
cd "$WORK"

fetch() {  # fetch PACKAGE VERSION FILE -> prints the extracted path
  pkg=$1 ver=$2 file=$3
  dir="x/${pkg}_$ver"
  if [ ! -f "$dir/$file" ]; then
    apt-get download "$pkg=$ver" >/dev/null 2>&1 || { echo "patch_bench: cannot download $pkg=$ver" >&2; exit 1; }
    mkdir -p "$dir"
    dpkg-deb -x "$(ls ${pkg}_*.deb | grep -F "$(echo "$ver" | sed 's/:/%3a/')" | head -n1)" "$dir"
  fi
  echo "$WORK/$dir/$file"
}

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.4f\", $1 }"; }

# bench NAME OLD NEW: one line per method.
bench() {
  name=$1 old=$2 new=$3
  "$PATCH_BENCH" "$old" "$new" > "$name.ours" || { echo "patch_bench: our patch does not verify" >&2; exit 1; }
  t0=$(now); xdelta3 -9 -S djw -f -e -s "$old" "$new" "$name.xd3"; t1=$(now)
  bsdiff "$old" "$new" "$name.bsdiff"; t2=$(now)
  get() { sed -n "s/^$1 //p" "$name.ours"; }
  ours=$(get patch_compressed)
  ours_time=$(calc "$(get find_seconds) + $(get verify_seconds) + $(get compress_seconds)")
  xd=$(stat -c %s "$name.xd3")
  bs=$(stat -c %s "$name.bsdiff")
  printf '%s: %s -> %s bytes, %s patch records\n' "$name" "$(stat -c %s "$old")" "$(stat -c %s "$new")" "$(get records)"
  printf '  %-34s %10s bytes %8.2f s\n' "ours (patch stream, imploded)" "$ours" "$ours_time"
  printf '  %-34s %10s bytes %8.2f s\n' "xdelta3 -9 -S djw" "$xd" "$(calc "$t1 - $t0")"
  printf '  %-34s %10s bytes %8.2f s\n' "bsdiff" "$bs" "$(calc "$t2 - $t1")"
  printf '  %-34s %10s bytes %8.2f s\n' "whole new file, imploded" "$(get whole_compressed)" "$(get whole_compress_seconds)"
  printf '  %-34s %10s bytes\n' "positional XOR, imploded" "$(get positional_xor_compressed)"
  printf '  %-34s %9.2fx\n' "ours over xdelta3" "$(calc "$ours / $xd")"
  printf '  %-34s %9.2fx\n' "ours over the whole file" "$(calc "$ours / $(get whole_compressed)")"
  printf '  %-34s %9.2fx\n' "ours over bsdiff" "$(calc "$ours / $bs")"
  eval "${name}_ratio=$(calc "$ours / $xd")"
  eval "${name}_bsdiff=$(calc "$ours / $bs")"
}

LIBC=lib/x86_64-linux-gnu/libc.so.6
CRYPTO=usr/lib/x86_64-linux-gnu/libcrypto.so.3
bench libc "$(fetch libc6 2.36-9+deb12u7 $LIBC)" "$(fetch libc6 2.36-9+deb12u14 $LIBC)"
bench libcrypto "$(fetch libssl3 3.0.20-1~deb12u2 $CRYPTO)" "$(fetch libssl3 3.0.22-1~deb12u2 $CRYPTO)"
printf 'patch size vs xdelta3: %.2fx\n' "$libc_ratio"
printf 'patch size vs bsdiff: %.2fx\n' "$(awk "BEGIN { print ($libc_bsdiff > $libcrypto_bsdiff) ? $libc_bsdiff : $libcrypto_bsdiff }")"
