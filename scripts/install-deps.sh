#!/bin/sh
# Installs what the build, the tests and the benchmarks use on a Debian 12 machine (idempotent;
# run as root).
set -eu
export DEBIAN_FRONTEND=noninteractive
HERE=$(cd "$(dirname "$0")/.." && pwd)

# The Windows build (mingw-w64, its zlib), Wine and a display for the Windows tests, the native
# build with its sanitizers and fuzzers (clang, compiler-rt), GoogleTest, the independent decoder
# of the codec tests (libdynamite), python3 and the cabinet tools of the cabarc tests, xdelta3
# and bsdiff of the patch benchmark, pefile (the independent reader of the native builder's
# fixes), libgcab (the native builder's cabinets); dpkg-dev fetches minizip from Debian's zlib
# sources.
PKGS="g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev libz-mingw-w64-dev \
wine wine64 wine32:i386 xvfb cmake ninja-build googletest libgtest-dev zlib1g-dev libdynamite-dev \
clang libclang-rt-14-dev python3 python3-pefile dpkg-dev cabextract gcab libgcab-dev xdelta3 bsdiff osslsigncode openssl"

missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "install-deps: installing:$missing"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  for i in 1 2 3; do     # one index of the security suite may be inconsistent: tolerate a failed update
    if apt-get update; then break; fi
    echo "apt-get update failed (attempt $i); continuing" >&2; sleep 3
  done
  apt-get install -y --no-install-recommends -o APT::Default-Release=bookworm $missing
fi

# minizip sources come from Debian's zlib source package (unzip for the installer, zip for both
# builders' zip archives).
MZ="$HERE/third_party/minizip"
if [ ! -f "$MZ/unzip.c" ] || [ ! -f "$MZ/zip.c" ]; then
  work=$(mktemp -d)
  URI=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$URI" ] || URI=http://deb.debian.org/debian
  src=/etc/apt/sources.list.d/zfix-zlib-src.sources
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$URI" > "$src"
  apt-get update >/dev/null 2>&1 || true
  (cd "$work" && apt-get source zlib >/dev/null 2>&1) || { rm -f "$src"; echo "install-deps: apt-get source zlib failed" >&2; exit 1; }
  rm -f "$src"; apt-get update >/dev/null 2>&1 || true
  mkdir -p "$MZ"
  cp "$work"/zlib-*/contrib/minizip/unzip.c "$work"/zlib-*/contrib/minizip/unzip.h \
     "$work"/zlib-*/contrib/minizip/ioapi.c "$work"/zlib-*/contrib/minizip/ioapi.h \
     "$work"/zlib-*/contrib/minizip/crypt.h "$work"/zlib-*/contrib/minizip/zip.c \
     "$work"/zlib-*/contrib/minizip/zip.h "$MZ"/
  rm -rf "$work"
fi
echo "install-deps: done"
