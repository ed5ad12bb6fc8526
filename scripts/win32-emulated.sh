#!/usr/bin/env bash
# The shipped 32-bit exes under emulated 32-bit Wine (qemu-user), for a machine whose
# kernel runs no 32-bit programs and where `make test` therefore runs the Windows tests
# on the 64-bit build: both programs end to end, Sheenling's window, the planted DLLs,
# the registry class on the real registry (and on a Japanese system). These are the
# win32 tree's runs labelled "emulated" (see add_emulated_run); reports go to
# build/win32/test-results as the other trees' do.
#
#   scripts/win32-emulated.sh   after a build of the win32 tree (make test builds it)
#
# Where emulation is not set up (scripts/install-deps.sh does it, as root), the stage
# is reported as skipped, with the reason, never left out in silence.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
dir=build/win32
begin=$(date +%s)
rm -rf "$dir/test-results" "$dir/Testing/Temporary/LastTestsFailed.log"
mkdir -p "$dir/test-results"

if ! why=$(scripts/wine-arch.sh --emulated); then
  source scripts/report.sh
  record_skipped EmulatedWin32Stage ShippedExesUnderEmulated32BitWine "$why"
  finish_report "$dir" emulated_stage "stages" > /dev/null
  echo "[win32, emulated] skipped: $why"
  exit 0
fi

source scripts/window-reruns.sh
owned_display=
if [ -z "${DISPLAY:-}" ]; then
  # The display's first programs prepare the stage's own prefix.
  export PROJECT_EMULATED=1 PROJECT_WINEPREFIX="$root/$dir/wineprefix-emulated"
  source scripts/display.sh
  owned_display=1
  trap 'stop_display "$root/$dir"' EXIT
  trap 'exit 130' INT TERM
  start_display
fi
ctest --test-dir "$dir" -N -L emulated | sed -n 's/^ *Test *#[0-9]*: //p' > "$dir/ran-tests.txt"
status=0
ctest --test-dir "$dir" -L emulated --output-on-failure > "$dir/ctest.log" 2>&1 ||
  rerun_window_tests "$dir" || status=1
# The stage's own prefix and whatever it started end with it.
scripts/wine-stop.sh "$root/$dir"
[ -z "$owned_display" ] || { stop_display "$root/$dir"; trap - EXIT; }
took=$(( $(date +%s) - begin ))
sed -n '/tests passed\|tests failed\|The following tests FAILED/,$p' "$dir/ctest.log" |
  sed "s/^/[win32, emulated] /"
printf '[win32, emulated] the shipped exes under emulated 32-bit Wine took %d min %02d s\n' \
  $((took / 60)) $((took % 60))
exit $status
