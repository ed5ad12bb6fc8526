#!/usr/bin/env bash
# make dist: builds the 32-bit tree and makes dist/Burnisher-<version>.zip, a folder a
# Windows user unzips anywhere and runs from: both programs (stripped) with their
# manifests beside them, a read-me and the licence (CRLF line ends, for Notepad).
# Then checks what it packed: the PE test on the stripped exes, and a start of each
# program from the unzipped folder in a fresh Wine prefix.
#
# DIST_TREE (default build/win32) is the 32-bit tree, DIST_HOST_TREE (default
# build/host) the tree that builds the PE test, DIST_CHECK_TREE (default: the Windows
# tree this machine runs, build/win32 or build/win64) the one that builds the start check.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/install-deps.sh

tree=${DIST_TREE:-build/win32}
host_tree=${DIST_HOST_TREE:-build/host}
arch=$(scripts/wine-arch.sh)
check_tree=${DIST_CHECK_TREE:-build/$arch}

configure() {  # tree, toolchain file or "" for the host
  [ -f "$1/CMakeCache.txt" ] && return 0
  if [ -z "$2" ]; then
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=Debug -DBURNISHER_SANITIZE=ON >/dev/null
  else
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" >/dev/null
  fi
}
configure "$tree" mingw-i686.cmake
cmake --build "$tree" -j2 --target Burnisher Sheenling -- --no-print-directory >/dev/null

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$tree/CMakeCache.txt")
[ -n "$version" ] || { echo "dist: no project version in $tree/CMakeCache.txt" >&2; exit 1; }
name=Burnisher-$version
stage=dist/stage/$name
rm -rf dist/stage "dist/$name.zip"
mkdir -p "$stage"

i686-w64-mingw32-strip -o "$stage/Burnisher.exe" "$tree/switcher/Burnisher.exe"
i686-w64-mingw32-strip -o "$stage/Sheenling.exe" "$tree/demo/Sheenling.exe"
cp "$tree/switcher/VB6.EXE.Manifest" "$stage/VB6.EXE.Manifest"
cp "$tree/demo/Sheenling.exe.manifest" "$stage/Sheenling.exe.manifest"
sed "s/@VERSION@/$version/; s/\r\$//; s/\$/\r/" packaging/README.txt > "$stage/README.txt"
sed 's/\r$//; s/$/\r/' LICENSE > "$stage/LICENSE.txt"

# Stripped means no COFF symbols and no debug sections left.
for exe in Burnisher.exe Sheenling.exe; do
  symbols=$(python3 -c 'import struct, sys
b = open(sys.argv[1], "rb").read()
print(struct.unpack_from("<I", b, struct.unpack_from("<I", b, 0x3C)[0] + 16)[0])' "$stage/$exe")
  if [ "$symbols" != 0 ] || i686-w64-mingw32-objdump -h "$stage/$exe" | grep -q ' \.debug'; then
    echo "dist: $exe is not stripped ($symbols symbols)" >&2
    exit 1
  fi
done

# The PE test, on the very files that are packed.
configure "$host_tree" ""
cmake --build "$host_tree" -j2 --target release_pe_test -- --no-print-directory >/dev/null
BURNISHER_RELEASE_DIR="$root/$stage" "$host_tree/tests/release/release_pe_test" --gtest_brief=1 ||
  { echo "dist: the packed exes fail the release test" >&2; exit 1; }

# One folder in the zip, fixed times and order, so the same sources give the same zip.
stamp=$(git log -1 --format=%cd --date=format:%Y%m%d%H%M.%S 2>/dev/null || echo 202601010000)
find "$stage" -exec touch -t "$stamp" {} +
(cd dist/stage && TZ=UTC zip -X -q -9 -r "../$name.zip" "$name")
rm -rf dist/stage
echo "dist/$name.zip:"
unzip -l "dist/$name.zip" | sed 's/^/  /'

# Start each program from a fresh unzip in a fresh Wine prefix.
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
unzip -q "dist/$name.zip" -d "$check/unzipped"
run_dir="$check/unzipped/$name"
if [ "$arch" = win64 ]; then
  # This kernel runs no 32-bit programs, so 32-bit Wine cannot start the packed exes.
  # Check the rest honestly: the same sources built as 64-bit programs, put in place
  # of the packed exes beside the packed manifests and read-me.
  echo "note: this machine runs no 32-bit programs; the start check uses the 64-bit builds"
  echo "      of the same sources in the unzipped folder (the packed 32-bit exes are not run)"
  configure "$check_tree" mingw-x86_64.cmake
  cmake --build "$check_tree" -j2 --target Burnisher Sheenling startup_bench -- --no-print-directory >/dev/null
  cp "$check_tree/switcher/Burnisher.exe" "$check_tree/demo/Sheenling.exe" "$run_dir/"
else
  configure "$check_tree" mingw-i686.cmake
  cmake --build "$check_tree" -j2 --target startup_bench -- --no-print-directory >/dev/null
fi
cp "$check_tree/bench/startup_bench.exe" "$check/"
export PROJECT_WINEPREFIX="$check/prefix"
source scripts/display.sh
trap 'stop_display; rm -rf "$check"' EXIT
trap 'exit 130' INT TERM
start_display >/dev/null 2>&1
status=0
for exe in Burnisher.exe Sheenling.exe; do
  if scripts/wine-run.sh "$check/startup_bench.exe" --check "$run_dir/$exe" 60000; then
    echo "started from the unzipped folder in a fresh prefix: $exe"
  else
    echo "dist: $exe did not show its window from the unzipped folder" >&2
    status=1
  fi
done
[ "$status" = 0 ] && echo "dist/$name.zip is ready"
exit $status
