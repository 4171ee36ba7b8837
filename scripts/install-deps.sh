#!/bin/sh
# Installs what the build, the tests and the benchmarks use on a Debian 12 machine (idempotent;
# run as root). Every failed step says so; only wine32 may fail without stopping the rest.
set -eu
export DEBIAN_FRONTEND=noninteractive
HERE=$(cd "$(dirname "$0")/.." && pwd)

# The Windows builds (mingw-w64 for i686, the product, and x86_64, its 64-bit twin; their zlib),
# Wine and a display for the Windows tests, the native build with its sanitizers and fuzzers
# (clang, compiler-rt), GoogleTest, the independent decoder of the codec tests (libdynamite),
# python3 and the cabinet tools of the cabarc tests, xdelta3 and bsdiff of the patch benchmark,
# pefile (the independent reader of the native builder's fixes), libgcab (the native builder's
# cabinets); dpkg-dev fetches minizip from Debian's zlib sources.
PKGS="g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev \
g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev \
wine wine64 xvfb cmake ninja-build googletest libgtest-dev zlib1g-dev libdynamite-dev \
clang libclang-rt-14-dev python3 python3-pefile dpkg-dev cabextract gcab libgcab-dev xdelta3 bsdiff osslsigncode openssl"
# Wine's 32-bit half: the product's own loader. Hosts that run no 32-bit code cannot use it, and
# its i386 libraries must match the amd64 ones exactly, so it is installed on its own.
WINE32="wine32:i386"

# apt waits for another apt or dpkg that holds the lock instead of failing at once.
APT="apt-get -o DPkg::Lock::Timeout=600"
wait_lists() {   # 'apt-get update' takes the lists lock, which DPkg::Lock::Timeout does not cover
  n=0
  while [ -e /var/lib/apt/lists/lock ] && command -v fuser >/dev/null 2>&1 \
        && fuser /var/lib/apt/lists/lock >/dev/null 2>&1 && [ $n -lt 600 ]; do
    [ $n -eq 0 ] && echo "install-deps: waiting for another apt to finish" >&2
    sleep 2; n=$((n + 2))
  done
}
updated=no
update() {
  [ "$updated" = yes ] && return 0
  updated=yes
  for i in 1 2 3; do
    wait_lists
    if $APT update; then return 0; fi
    # One index of the security suite (i386) has been seen inconsistent for days: apt keeps the
    # others, so the install below may still succeed.
    echo "install-deps: apt-get update failed (attempt $i of 3); going on with the lists it has" >&2
    sleep 3
  done
}
# Installs its arguments: first as the lists stand (right on an up-to-date machine, whose amd64
# libraries may come from the security suite), then with bookworm preferred (right where the
# security suite's i386 index is missing, so only bookworm has i386 twins to offer).
install() {
  $APT install -y --no-install-recommends "$@" && return 0
  echo "install-deps: retrying with bookworm's versions preferred" >&2
  $APT install -y --no-install-recommends -o APT::Default-Release=bookworm "$@"
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=""
for p in $PKGS; do installed "$p" || missing="$missing $p"; done
if [ -n "$missing" ]; then
  echo "install-deps: installing:$missing"
  update
  # shellcheck disable=SC2086
  install $missing || { echo "install-deps: could not install:$missing" >&2; exit 1; }
fi
if ! installed "$WINE32"; then
  dpkg --print-foreign-architectures | grep -qx i386 || { dpkg --add-architecture i386; updated=no; }
  update
  if install "$WINE32"; then :; else
    echo "install-deps: $WINE32 could not be installed: the Windows suite runs on the 64-bit twin" >&2
  fi
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
  wait_lists
  $APT update >/dev/null 2>&1 || echo "install-deps: apt-get update with zlib's sources failed; trying the source all the same" >&2
  if ! (cd "$work" && apt-get source zlib >"$work/source.log" 2>&1); then
    echo "install-deps: apt-get source zlib failed:" >&2; tail -n 5 "$work/source.log" >&2
    rm -f "$src"; rm -rf "$work"; exit 1
  fi
  rm -f "$src"
  wait_lists
  $APT update >/dev/null 2>&1 || true   # drops the source lists again; a failure changes nothing here
  mkdir -p "$MZ"
  cp "$work"/zlib-*/contrib/minizip/unzip.c "$work"/zlib-*/contrib/minizip/unzip.h \
     "$work"/zlib-*/contrib/minizip/ioapi.c "$work"/zlib-*/contrib/minizip/ioapi.h \
     "$work"/zlib-*/contrib/minizip/crypt.h "$work"/zlib-*/contrib/minizip/zip.c \
     "$work"/zlib-*/contrib/minizip/zip.h "$MZ"/
  rm -rf "$work"
fi
echo "install-deps: done"
