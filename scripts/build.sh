#!/usr/bin/env bash
# Configures (once) and builds the named trees: host, win32, win64.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=$(nproc)
for tree in "$@"; do
  if [ ! -f "build/$tree/CMakeCache.txt" ]; then
    case $tree in
      host) cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug -DBURNISHER_SANITIZE=ON ;;
      win32) cmake -S . -B build/win32 -DCMAKE_BUILD_TYPE=MinSizeRel \
               -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" ;;
      win64) cmake -S . -B build/win64 -DCMAKE_BUILD_TYPE=MinSizeRel \
               -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" ;;
      *) echo "unknown tree $tree" >&2; exit 2 ;;
    esac >/dev/null
  fi
  cmake --build "build/$tree" -j"$jobs" -- --no-print-directory
done
