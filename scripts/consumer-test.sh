#!/usr/bin/env bash
# The library as another program gets it: tests/consumer (C++17, a target of its own
# named "common", Release, the mingw-w64 toolchain) is built with this tree as its
# subproject and again from a package installed by a library-only build
# (-DBUILD_TESTING=OFF), and both programs run under Wine. Also checks that the
# subproject brings no target but the library's and that the installed libraries
# hold no stand-in code and no link-time-optimisation objects.
#
# Prints a gtest-like summary closing with "N passed, N failed", writes
# build/consumer/test-results/consumer.xml and build/consumer/ran-tests.txt for
# scripts/count-results.py, and exits non-zero when a check failed.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
out=build/consumer
rm -rf "$out"
mkdir -p "$out/test-results" "$out/logs"

# The Windows programs this machine runs: 32-bit ones where 32-bit Wine starts.
if [ "$(scripts/wine-arch.sh)" = win32 ]; then
  arch=i686
else
  arch=x86_64
fi
toolchain="$root/cmake/mingw-$arch.cmake"
common_args=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_TOOLCHAIN_FILE=$toolchain")

# A runner of our own when none is going: Wine's server and display end with it.
if [ -z "${DISPLAY:-}" ]; then
  source scripts/display.sh
  trap stop_display EXIT
  start_display
fi

source scripts/report.sh
check() {  # check <name> <command...>: runs the command, its output into a log of its own
  local name=$1 log="$out/logs/$1.log" start took
  shift
  echo "[ RUN      ] consumer.$name"
  start=$(date +%s)
  "$@" > "$log" 2>&1
  local rc=$?
  took=$(($(date +%s) - start))
  if [ "$rc" = 0 ]; then
    echo "[       OK ] consumer.$name (${took} s)"
    record_case consumer "$name" "$took"
  else
    tail -n 20 "$log"
    echo "[  FAILED  ] consumer.$name (${took} s, full log $log)"
    local last
    last=$(tail -n 1 "$log")
    record_case consumer "$name" "$took" "${last:-exit code $rc}"
  fi
  return $rc
}

build_subproject() {
  cmake -S tests/consumer -B "$out/subproject" "${common_args[@]}" "-DREGISTRYROUTINES_SOURCE=$root" &&
    cmake --build "$out/subproject" -j2
}
# Nothing of the project's own but the three libraries: no programs, tests,
# benchmarks, fuzzers, GoogleTest or icon rendering.
only_the_library() {
  local targets expected
  targets=$(cmake --build "$out/subproject" --target help | sed -n 's/^\.\.\. \([^ .]*\)$/\1/p' |
    grep -vxE 'all|clean|depend|edit_cache|rebuild_cache' | sort | tr '\n' ' ')
  expected="common consumer vbreg_common vbreg_platform vbreg_registry "
  echo "targets: $targets"
  [ "$targets" = "$expected" ] || { echo "expected: $expected"; return 1; }
}
package() {
  cmake -S . -B "$out/library" "${common_args[@]}" -DBUILD_TESTING=OFF \
    "-DCMAKE_INSTALL_PREFIX=$root/$out/prefix" &&
    cmake --build "$out/library" -j2 && cmake --install "$out/library" &&
    ls "$out/prefix/include/RegistryRoutines/registry/RegistryRoutines.h" \
      "$out/prefix/include/RegistryRoutines/common/Variant.h" \
      "$out/prefix/lib/cmake/RegistryRoutines/RegistryRoutinesConfigVersion.cmake"
}
# No stand-in symbol, and plain objects: a consumer's ordinary link takes them.
plain_libraries() {
  local libs=("$out"/prefix/lib/*.a) bad=0
  [ ${#libs[@]} -eq 3 ] || { echo "expected three libraries: ${libs[*]}"; return 1; }
  if "$arch-w64-mingw32-nm" -C "${libs[@]}" | grep -E 'FakeRegistry|fakecp::|fake::'; then
    echo "stand-in symbols in the installed libraries"; bad=1
  fi
  if "$arch-w64-mingw32-objdump" -h "${libs[@]}" | grep -q '\.gnu\.lto_'; then
    echo "link-time-optimisation objects in the installed libraries"; bad=1
  fi
  "$arch-w64-mingw32-nm" -C "${libs[@]}" | grep -c ' T vbreg::' | sed 's/$/ vbreg functions defined/'
  return $bad
}
build_installed() {
  cmake -S tests/consumer -B "$out/installed" "${common_args[@]}" \
    "-DCMAKE_PREFIX_PATH=$root/$out/prefix" && cmake --build "$out/installed" -j2
}
run() { scripts/wine-run.sh "$1/consumer.exe"; }

echo "[==========] Running the consumer checks ($arch)"
check subproject-builds build_subproject &&
  check subproject-brings-only-the-library only_the_library
[ -f "$out/subproject/consumer.exe" ] && check subproject-runs run "$out/subproject"
check package-installs package && check installed-libraries-are-plain plain_libraries
check installed-package-builds build_installed && check installed-package-runs run "$out/installed"
echo "[==========] $((passed + failed)) consumer checks ran."
finish_report "$out" consumer checks
