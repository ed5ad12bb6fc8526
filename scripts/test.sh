#!/usr/bin/env bash
# make test: install what is missing, build the trees, run every test, and close
# with one line "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
fail() { echo "$1" >&2; echo "0 passed, 1 failed"; exit 1; }
scripts/install-deps.sh || fail "installing the packages failed"

# The shipped exes are 32-bit and always built. Their tests run under Wine where the
# machine can run 32-bit Wine; elsewhere the same tests run as 64-bit programs.
wintree=$(scripts/wine-arch.sh)
trees="host win32"
[ "$wintree" = win64 ] && trees="$trees win64"
mkdir -p build
scripts/build.sh $trees > build.log 2>&1 || { tail -n 60 build.log; fail "build failed (build.log)"; }
if [ "$wintree" = win64 ]; then
  echo "note: this kernel runs no 32-bit programs; the Windows tests run as 64-bit builds," \
    "and the shipped 32-bit exes under emulated 32-bit Wine"
fi

source scripts/display.sh
# The tests start servers in several prefixes of the tree (96 and 144 DPI, XP): all of
# them end with the run, however it ends.
trap 'stop_display "$root/build"' EXIT
trap 'exit 130' INT TERM
start_display

source scripts/window-reruns.sh

status=0
for tree in host $wintree; do
  dir=build/$tree
  rm -rf "$dir/test-results" "$dir/Testing/Temporary/LastTestsFailed.log"
  mkdir -p "$dir/test-results"
  # The runs labelled "emulated" belong to the stage below.
  ctest --test-dir "$dir" -N -LE emulated | sed -n 's/^ *Test *#[0-9]*: //p' > "$dir/ran-tests.txt"
  ctest --test-dir "$dir" -LE emulated --output-on-failure -j2 > "$dir/ctest.log" 2>&1 ||
    rerun_window_tests "$dir" || status=1
  sed -n '/tests passed\|tests failed\|The following tests FAILED/,$p' "$dir/ctest.log" | sed "s/^/[$tree] /"
done
# Where the kernel runs no 32-bit programs, the exes users download still run: the
# shipped win32 tree under emulated 32-bit Wine (or a skip that says why).
stage=
if [ "$wintree" = win64 ]; then
  stage=build/win32
  scripts/win32-emulated.sh || status=1
fi
# The library built into a program of someone else's, from the tree and from an
# installed package, and run under Wine.
scripts/consumer-test.sh > build/consumer.log 2>&1 || { status=1; tail -n 30 build/consumer.log; }
stop_display "$root/build"
trap - EXIT
# Short fuzz runs on the kept corpus, then clang-tidy and cppcheck; both report
# their cases like the test programs do.
scripts/fuzz.sh --short > build/fuzz.log 2>&1 || { status=1; tail -n 30 build/fuzz.log; }
scripts/static-checks.sh > build/static.log 2>&1 || { status=1; tail -n 40 build/static.log; }
# Nothing of Wine may outlive the run.
scripts/wine-stop.sh --check build/cleanup > build/cleanup.log 2>&1 || { status=1; cat build/cleanup.log; }
python3 scripts/count-results.py build/host "build/$wintree" $stage build/consumer build/fuzz \
  build/static build/cleanup || status=1
exit $status
