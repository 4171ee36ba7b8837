#!/bin/sh
# A real pair of builds of 32-bit PE images, for measuring patches on what a rebuild changes:
# Debian's i386 EFI images of GRUB 2.06 (the signed grubia32, grubnetia32, its installer copy
# and gcdia32) from two Debian updates of the same upstream release, and systemd-boot's ia32
# boot loader and kernel stub from two point releases of 252. Nothing of it is kept in the
# repository: the packages come from the configured archive through apt-get download (the two
# versions of each sit in bookworm and bookworm-security; the archive offers no two builds of
# wine's or mingw-w64's PE DLLs).
# usage: bench/real_pair.sh DIR
#   Fetches and unpacks into DIR (kept for later runs) and prints one line per changed file:
#   NAME OLD_PATH NEW_PATH
set -eu
mkdir -p "$1"
DIR=$(cd "$1" && pwd)
cd "$DIR"

# unpack PACKAGE VERSION -> prints the directory the package is unpacked in
unpack() {
  pkg=$1 ver=$2
  dir="x/$(echo "${pkg}_$ver" | tr ':~+' '___')"
  if [ ! -f "$dir/.done" ]; then
    rm -rf "$dir" && mkdir -p "$dir" deb
    (cd deb && apt-get download "$pkg=$ver" >/dev/null 2>&1) || { echo "real_pair: cannot download $pkg=$ver" >&2; exit 1; }
    deb=$(ls deb/*.deb | grep -F "$(echo "${pkg%%:*}_$ver" | sed 's/:/%3a/g')" | head -n1)
    dpkg-deb -x "$deb" "$dir"
    touch "$dir/.done"
  fi
  echo "$DIR/$dir"
}

# pair PACKAGE OLD_VERSION NEW_VERSION FILE...
pair() {
  pkg=$1 old=$(unpack "$1" "$2") new=$(unpack "$1" "$3")
  shift 3
  for f in "$@"; do
    [ -f "$old/$f" ] && [ -f "$new/$f" ] || { echo "real_pair: $pkg has no $f" >&2; exit 1; }
    cmp -s "$old/$f" "$new/$f" || echo "$(basename "$f") $old/$f $new/$f"
  done
}

G=usr/lib/grub/i386-efi-signed
pair grub-efi-ia32-signed:i386 1+2.06+13+deb12u1 1+2.06+13+deb12u2 \
  $G/grubia32.efi.signed $G/grubnetia32.efi.signed $G/grubnetia32-installer.efi.signed $G/gcdia32.efi.signed
S=usr/lib/systemd/boot/efi
pair systemd-boot-efi:i386 252.38-1~deb12u1 252.39-1~deb12u2 $S/systemd-bootia32.efi $S/linuxia32.efi.stub
