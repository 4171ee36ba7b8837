#!/bin/sh
# Configures and builds the trees: build/host (native, clang), build/win (i686 mingw-w64: the
# product), build/win64 (x86_64 mingw-w64: its 64-bit twin, which runs the Windows suite where the
# host runs no 32-bit code) and build/asan (native, clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
JOBS=${JOBS:-$(nproc)}
cd "$ROOT"
if [ ! -f build/host/build.ninja ]; then
  cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
if [ ! -f build/win/build.ninja ]; then
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
fi
if [ ! -f build/win64/build.ninja ]; then
  cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-x86_64.cmake"
fi
if [ ! -f build/asan/build.ninja ]; then
  cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZFIX_SANITIZE=ON \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build build/host -j "$JOBS"
cmake --build build/win -j "$JOBS"
cmake --build build/win64 -j "$JOBS"
cmake --build build/asan -j "$JOBS"
