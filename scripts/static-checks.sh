#!/usr/bin/env bash
# Static checks: clang-tidy (.clang-tidy) over the project's own sources, the portable
# ones through the host tree's compile_commands.json and the Windows-only ones through
# the win64 tree's (clang parsing the mingw-w64 headers), then cppcheck over every
# source. Prints a gtest-like summary closing with "N passed, N failed", writes
# build/static/test-results/static.xml and build/static/ran-tests.txt for
# scripts/count-results.py, and exits non-zero on any finding.
#
# Trees: STATIC_HOST_TREE (default build/host), STATIC_WIN_TREE (default build/win64);
# each is configured here when missing (configuring is enough, nothing is built).
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
host_tree=${STATIC_HOST_TREE:-build/host}
win_tree=${STATIC_WIN_TREE:-build/win64}
out=build/static
mkdir -p "$out/test-results" "$out/logs"

configure() {
  local tree=$1 toolchain=$2
  [ -f "$tree/compile_commands.json" ] && return 0
  if [ -z "$toolchain" ]; then
    cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Debug -DBURNISHER_SANITIZE=ON
  else
    cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain"
  fi > "$out/logs/configure-$(basename "$tree").log" 2>&1
}

# The sources of one area that a tree compiles, as listed in its compile_commands.json.
sources_in() {
  python3 - "$1" "$root" "${@:2}" <<'PY'
import json, sys
db, root, dirs = sys.argv[1], sys.argv[2], sys.argv[3:]
seen = set()
for entry in json.load(open(f"{db}/compile_commands.json")):
    f = entry["file"]
    rel = f[len(root) + 1:] if f.startswith(root + "/") else None
    if rel and any(rel.startswith(d + "/") for d in dirs) and rel not in seen:
        seen.add(rel)
        print(rel)
PY
}

source "$root/scripts/report.sh"
record() {  # name, status (0 = clean), log, seconds
  local name=$1 rc=$2 log=$3 took=$4
  if [ "$rc" = 0 ]; then
    echo "[       OK ] static.$name (${took} s)"
    record_case static "$name" "$took"
  else
    grep -E '(warning|error|style|performance|portability):' "$log" | sort -u | head -n 60
    echo "[  FAILED  ] static.$name (${took} s, full log $log)"
    local first
    first=$(grep -m1 -E '(warning|error):' "$log")
    record_case static "$name" "$took" "${first:-exit code $rc}"
  fi
}

# clang-tidy over a file list, two at a time; a non-empty diagnostic list is a failure.
tidy() {
  local tree=$1 log=$2
  shift 2
  xargs -P2 -n1 clang-tidy -p "$tree" --quiet "$@" > "$log" 2>&1
  local rc=$?
  # "N warnings generated" lines are clang's chatter about suppressed system headers.
  if grep -qE '(warning|error):' "$log"; then return 1; fi
  return $rc
}

echo "[==========] Running static checks"

echo "[ RUN      ] static.clang-tidy-host"
start=$(date +%s)
if configure "$host_tree" ""; then
  sources_in "$host_tree" common registry platform tests/standin | tidy "$host_tree" "$out/logs/tidy-host.log"
  rc=$?
else
  rc=1; cp "$out/logs/configure-$(basename "$host_tree").log" "$out/logs/tidy-host.log"
fi
record clang-tidy-host $rc "$out/logs/tidy-host.log" $(( $(date +%s) - start ))

# clang finds the mingw-w64 C headers by itself for this target, but not the C++
# library of the win32-thread g++ the tree is built with: name those folders.
echo "[ RUN      ] static.clang-tidy-windows"
start=$(date +%s)
# The shipped code's GCC link-time flags (-ffat-lto-objects) mean nothing to clang.
win_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++
          --extra-arg=-Wno-ignored-optimization-argument)
while read -r dir; do
  case $dir in */include/c++*) win_args+=("--extra-arg=-isystem$dir") ;; esac
done < <(echo | x86_64-w64-mingw32-g++-win32 -xc++ -E -v - 2>&1 | sed -n '/#include <...> search starts here/,/End of search/p' | sed 's/^ *//')
if configure "$win_tree" mingw-x86_64.cmake; then
  sources_in "$win_tree" switcher demo bench | grep -v '^platform/' |
    { cat; echo platform/Win32Registry.cpp; } | tidy "$win_tree" "$out/logs/tidy-windows.log" "${win_args[@]}"
  rc=$?
else
  rc=1; cp "$out/logs/configure-$(basename "$win_tree").log" "$out/logs/tidy-windows.log"
fi
record clang-tidy-windows $rc "$out/logs/tidy-windows.log" $(( $(date +%s) - start ))

echo "[ RUN      ] static.cppcheck"
start=$(date +%s)
# Findings cppcheck cannot see through are suppressed in the code, with a reason,
# by "// cppcheck-suppress <id>" (--inline-suppr).
cppcheck -q --std=c++20 --language=c++ --library=googletest --library=windows \
  --enable=warning,performance,portability --error-exitcode=1 --inline-suppr -j2 -I . \
  --suppress=missingIncludeSystem \
  $(find common registry platform switcher demo fuzz bench tests -name '*.cpp' 2>/dev/null | sort) \
  > "$out/logs/cppcheck.log" 2>&1
record cppcheck $? "$out/logs/cppcheck.log" $(( $(date +%s) - start ))

echo "[==========] $((passed + failed)) static checks ran."
finish_report "$out" static checks
