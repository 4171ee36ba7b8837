#!/bin/sh
# Patch payloads on a real pair of builds of 32-bit PE images (bench/real_pair.sh fetches it),
# file by file and summed, beside xdelta3 -9 -S djw, bsdiff and the new file imploded whole. The
# builder's payload for a file is the smaller of its patch and the whole file, as the builder
# chooses. The last lines are the summed payload over xdelta3's and over bsdiff's.
# usage: bench/real_pair_bench.sh BUILD_DIR [WORK_DIR]
#   BUILD_DIR: the native build (with bin/patch_bench).
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
B=$(cd "$1" && pwd)
WORK=${2:-$B/bench-real-pair}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
sh "$HERE/real_pair.sh" "$WORK" > "$WORK/pairs"

calc() { awk "BEGIN { printf \"%.4f\", $1 }"; }
ours_sum=0 xd_sum=0 bs_sum=0 whole_sum=0 patch_wins=0 files=0 seconds=0
printf '%-34s %9s %9s %9s %9s %9s %7s\n' file new_size ours xdelta3 bsdiff whole find_s
while read -r name old new; do
  out="$WORK/$name"
  "$B/bin/patch_bench" "$old" "$new" > "$out.ours" || { echo "real_pair_bench: our patch of $name does not verify" >&2; exit 1; }
  xdelta3 -9 -S djw -f -e -s "$old" "$new" "$out.xd3"
  bsdiff "$old" "$new" "$out.bsdiff"
  get() { sed -n "s/^$1 //p" "$out.ours"; }
  patch=$(get patch_compressed) whole=$(get whole_compressed)
  ours=$patch
  if [ "$whole" -le "$patch" ]; then ours=$whole; else patch_wins=$((patch_wins + 1)); fi
  xd=$(stat -c %s "$out.xd3") bs=$(stat -c %s "$out.bsdiff")
  s=$(calc "$(get find_seconds) + $(get compress_seconds)")
  printf '%-34s %9s %9s %9s %9s %9s %7s\n' "$name" "$(stat -c %s "$new")" "$ours" "$xd" "$bs" "$whole" "$s"
  ours_sum=$((ours_sum + ours)) xd_sum=$((xd_sum + xd)) bs_sum=$((bs_sum + bs)) whole_sum=$((whole_sum + whole))
  files=$((files + 1)) seconds=$(calc "$seconds + $s")
done < "$WORK/pairs"
printf '%-34s %9s %9s %9s %9s %9s %7s\n' "sum of $files files" "" "$ours_sum" "$xd_sum" "$bs_sum" "$whole_sum" "$seconds"
printf 'patch smaller than the whole file for %d of %d files\n' "$patch_wins" "$files"
printf 'patch size vs bsdiff on the real pair: %.2fx\n' "$(calc "$ours_sum / $bs_sum")"
printf 'patch size vs xdelta3 on the real pair: %.2fx\n' "$(calc "$ours_sum / $xd_sum")"
