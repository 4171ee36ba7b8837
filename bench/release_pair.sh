#!/bin/sh
# A release-scale pair of trees of real Windows binaries, for bench/release_bench.sh: the sample
# product with Wine's 32-bit PE libraries and programs in its program directory (wine\), from two
# Debian builds of Wine 10.0 (the one in trixie and the one in sid; same upstream release, built
# with a newer compiler). Of about 800 files and 550 MB, nearly all change; the fix drops the
# 16-bit files (*16: removed) and the base lacks the d3dx family (added). Nothing of it is kept in
# the repository: the two packages come through apt-get download, with an apt configuration of
# its own in WORK_DIR (the machine's sources are left as they are).
# usage: bench/release_pair.sh PRODUCT_DIR WORK_DIR
#   Lays WORK_DIR/base and WORK_DIR/fix (the program trees) and WORK_DIR/base-data and
#   WORK_DIR/fix-data (empty), kept for later runs (remove WORK_DIR/pair.done for new ones), and
#   prints the two package versions.
set -eu
PRODUCT=$(cd "$1" && pwd)
mkdir -p "$2"
WORK=$(cd "$2" && pwd)
cd "$WORK"
if [ -f pair.done ]; then cat pair.done; exit 0; fi

APT=$WORK/apt
mkdir -p "$APT/lists/partial" "$APT/cache/archives/partial" deb
KEYRING=/usr/share/keyrings/debian-archive-keyring.gpg
[ -f "$KEYRING" ] || { echo "release_pair: no $KEYRING (package debian-archive-keyring)" >&2; exit 1; }
cat > "$APT/sources.list" <<EOF
deb [signed-by=$KEYRING] http://deb.debian.org/debian trixie main
deb [signed-by=$KEYRING] http://deb.debian.org/debian sid main
EOF
set -- -o Dir::Etc::SourceList="$APT/sources.list" -o Dir::Etc::SourceParts=/dev/null \
  -o Dir::State::Lists="$APT/lists" -o Dir::Cache="$APT/cache" -o APT::Architectures::=amd64 -o APT::Architectures::=i386
apt-get "$@" update >"$APT/update.log" 2>&1 || { echo "release_pair: apt-get update failed:" >&2; tail -n 5 "$APT/update.log" >&2; exit 1; }
suite_version() { s=$1; shift; apt-cache "$@" madison libwine:i386 2>/dev/null | awk -v s=" $s/" 'index($0, s) { print $3; exit }'; }
old=$(suite_version trixie "$@") new=$(suite_version sid "$@")
[ -n "$old" ] && [ -n "$new" ] || { echo "release_pair: libwine:i386 is not in both trixie and sid" >&2; exit 1; }
[ "$old" != "$new" ] || { echo "release_pair: trixie and sid have the same build of libwine:i386 ($old)" >&2; exit 1; }
# Two builds of one upstream release, as the figures assume: the version up to "~" or "-".
[ "${old%%[~-]*}" = "${new%%[~-]*}" ] ||
  { echo "release_pair: trixie's libwine:i386 $old and sid's $new are not builds of one release" >&2; exit 1; }
(cd deb && apt-get "$@" download "libwine:i386=$old" "libwine:i386=$new" >"$APT/download.log" 2>&1) ||
  { echo "release_pair: cannot download libwine:i386 $old and $new:" >&2; tail -n 5 "$APT/download.log" >&2; exit 1; }

lay() {  # lay VERSION TREE
  deb=$(ls deb/*.deb | grep -F "_$(echo "$1" | sed 's/:/%3a/')_" | head -n1)
  rm -rf x "$2" && mkdir -p x "$2-data"
  dpkg-deb -x "$deb" x
  cp -r "$PRODUCT/." "$2/"
  mkdir -p "$2/wine"
  cp x/usr/lib/i386-linux-gnu/wine/i386-windows/* "$2/wine/"
  rm -rf x
}
lay "$old" base
lay "$new" fix
rm -f base/wine/d3dx* fix/wine/*16
printf 'libwine:i386 %s (trixie) -> %s (sid)\n' "$old" "$new" | tee pair.done
