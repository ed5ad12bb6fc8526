#!/usr/bin/env bash
# make bench: one table of figures measured side by side in one run, under Wine:
# the registry class against plain loops over the raw API (reading, enumeration),
# the start-up of the shipped programs against the themed minimal window program
# (Common Controls 6 and one button, as both programs must load them), Sheenling's
# also against its floor (its seven controls made the plainest way), and the size
# of the shipped 32-bit exes (stripped, as in the zip) against the minimal window
# program. Each ratio is ours divided by the plain loop or the minimal program.
#
# BENCH_RUN_TREE (default: the Windows tree this machine runs, build/win32 or
# build/win64) and BENCH_SHIP_TREE (default build/win32) name other trees.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/install-deps.sh
arch=$(scripts/wine-arch.sh)
run_tree=${BENCH_RUN_TREE:-build/$arch}
ship_tree=${BENCH_SHIP_TREE:-build/win32}

configure() {  # tree, toolchain file; an existing tree is configured again for new targets
  if [ -f "$1/CMakeCache.txt" ]; then
    cmake "$1" >/dev/null
  else
    cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" >/dev/null
  fi
}
configure "$run_tree" "mingw-$([ "$arch" = win32 ] && echo i686 || echo x86_64).cmake"
configure "$ship_tree" mingw-i686.cmake
echo "building the benchmarks..." >&2
cmake --build "$run_tree" -j2 --target enum_bench read_bench startup_bench minimal_window \
  themed_window plain_controls_window Burnisher Sheenling -- --no-print-directory >/dev/null
[ "$ship_tree" = "$run_tree" ] ||
  cmake --build "$ship_tree" -j2 --target Burnisher Sheenling minimal_window -- --no-print-directory >/dev/null

# Wine sends every window and registry call through its server process. On a virtual
# machine a round trip between two CPUs cost 60 us here against 4 us on one CPU, and
# which of the two a call gets is the scheduler's whim: a program's start-up then
# swings by a factor of two with how many windows it makes, not with what it does. So
# the measurements run on one CPU, with Wine's server and the display the bench starts;
# a server left running elsewhere is stopped first, so that the new one starts there.
cpu=$(taskset -cp $$ | sed 's/.*: *//; s/[,-].*//')
source scripts/wine-env.sh
wineserver -k >/dev/null 2>&1 || true
taskset -cp "$cpu" $$ >/dev/null
source scripts/display.sh
trap stop_display EXIT
trap 'exit 130' INT TERM
start_display
run() { scripts/wine-run.sh "$@"; }

model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "machine: $model, $(nproc --all) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo); $("$WINE" --version 2>/dev/null || echo Wine) ($arch programs)"
echo "measured with Wine and its server on CPU $cpu alone"
[ "$arch" = win64 ] && echo "note: this kernel runs no 32-bit programs, so the timings are of the 64-bit builds"
printf '%-44s %13s %15s %9s\n' "measure" "ours" "plain/minimal" "ratio"
printf '%.0s-' {1..84}; echo

# Enumeration: enum_bench prints "subkeys 10000 items  ours X us/item  raw loop Y us/item  ratio Rx".
run "$run_tree/bench/enum_bench.exe" | awk '
  $3 == "items" && $4 == "ours" {
    name = ($1 == "subkeys") ? "EnumRegistryKeys, " $2 " subkeys" : "EnumRegistryValues, " $2 " values"
    printf "%-44s %10.3f us %12.3f us %8s\n", name " (per item)", $5, $9, $12
  }'
run "$run_tree/bench/read_bench.exe"
# Start to window shown, the median of interleaved starts of each program and its
# yardstick; the themed one's own cost over the plain one is the price of Common
# Controls 6.
rounds=${BENCH_STARTS:-15}
run "$run_tree/bench/startup_bench.exe" "$run_tree/bench/themed_window.exe" \
  "$run_tree/bench/minimal_window.exe" "themed minimal window start, vs minimal" "$rounds"
run "$run_tree/bench/startup_bench.exe" "$run_tree/switcher/Burnisher.exe" \
  "$run_tree/bench/themed_window.exe" "Burnisher start, vs themed minimal window" "$rounds"
run "$run_tree/bench/startup_bench.exe" "$run_tree/demo/Sheenling.exe" \
  "$run_tree/bench/themed_window.exe" "Sheenling start, vs themed minimal window" "$rounds"
run "$run_tree/bench/startup_bench.exe" "$run_tree/demo/Sheenling.exe" \
  "$run_tree/bench/plain_controls_window.exe" "Sheenling start, vs same controls, plainly" \
  "$rounds"

# Sizes as shipped: the 32-bit exes stripped.
sizes=$(mktemp -d)
for exe in switcher/Burnisher.exe demo/Sheenling.exe bench/minimal_window.exe; do
  i686-w64-mingw32-strip -o "$sizes/${exe##*/}" "$ship_tree/$exe"
done
minimal=$(stat -c %s "$sizes/minimal_window.exe")
for exe in Burnisher.exe Sheenling.exe; do
  size=$(stat -c %s "$sizes/$exe")
  awk -v n="$exe size (32-bit, stripped)" -v s="$size" -v m="$minimal" \
    'BEGIN { printf "%-44s %9.1f KiB %11.1f KiB %8.2fx\n", n, s / 1024, m / 1024, s / m }'
done
rm -rf "$sizes"
