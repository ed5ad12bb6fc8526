#!/usr/bin/env bash
# make fuzz: runs each libFuzzer target for FUZZ_SECONDS (default 60) on a working
# corpus seeded from fuzz/corpus/<target>/; what it finds lands in build/fuzz/findings/.
#
# --short: the run `make test` does: each target replays the corpus kept in the repo,
# then fuzzes for FUZZ_SHORT_SECONDS (default 3) into a scratch folder, so the repo
# corpus never changes. Prints a gtest-like summary closing with "N passed, N failed",
# writes build/fuzz/test-results/fuzz.xml (gtest XML, one case per target) and
# build/fuzz/ran-tests.txt for scripts/count-results.py, and exits non-zero on a finding.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

short=0
[ "${1:-}" = --short ] && short=1
seconds=${FUZZ_SECONDS:-60}
[ "$short" = 1 ] && seconds=${FUZZ_SHORT_SECONDS:-3}
targets="value_decoder value_encoder collection pe_manifest"
dir=build/fuzz

mkdir -p "$dir/test-results"
source "$root/scripts/report.sh"
# A tree that does not build is a failed case of its own, so that the report of an
# earlier run is never counted in its place.
fail_build() {
  echo "$1" >&2
  record_case fuzz build 0 "$1"
  finish_report "$dir" fuzz targets
  exit 1
}
command -v clang++ >/dev/null || fail_build "clang++ is missing (scripts/install-deps.sh installs it)"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DBURNISHER_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    > "$dir.configure.log" 2>&1 || { tail -n 30 "$dir.configure.log"; fail_build "configuring the fuzz tree failed"; }
fi
build_targets=()
for t in $targets; do build_targets+=("${t}_fuzz"); done
cmake --build "$dir" -j2 --target "${build_targets[@]}" -- --no-print-directory > "$dir/build.log" 2>&1 ||
  { tail -n 40 "$dir/build.log"; fail_build "building the fuzz targets failed ($dir/build.log)"; }

mkdir -p "$dir/findings" "$dir/logs"
total_start=$(date +%s)
echo "[==========] Running $(echo $targets | wc -w) fuzz targets, ${seconds} s each"
for t in $targets; do
  echo "[ RUN      ] fuzz.$t"
  if [ "$short" = 1 ]; then
    work=$(mktemp -d)
  else
    work="$dir/corpus-work/$t"
    mkdir -p "$work"
  fi
  log="$dir/logs/$t.log"
  start=$(date +%s)
  # -timeout: one input taking this long is a hang; the outer timeout guards the whole run.
  timeout $((seconds + 120)) "$dir/fuzz/${t}_fuzz" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
    "$work" "fuzz/corpus/$t" > "$log" 2>&1
  rc=$?
  took=$(( $(date +%s) - start ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ "$short" = 1 ] && rm -rf "$work"
  if [ "$rc" = 0 ]; then
    echo "[       OK ] fuzz.$t (${took} s, ${runs:-0} inputs)"
    record_case fuzz "$t" "$took"
  else
    artifact=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n 1)
    what=$(grep -m1 -E 'runtime error|invariant broken|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)' "$log")
    grep -m1 -B2 -A25 -E 'runtime error|invariant broken|ERROR: ' "$log" | head -n 40
    echo "finding kept in: ${artifact:-none} (full log $log)"
    echo "after fixing, keep the input as a corpus case: cp ${artifact:-<input>} fuzz/corpus/$t/"
    echo "[  FAILED  ] fuzz.$t (${took} s, exit $rc)"
    record_case fuzz "$t" "$took" "${what:-exit code $rc}"
  fi
done
echo "[==========] $((passed + failed)) fuzz targets ran. ($(( $(date +%s) - total_start )) s total)"
finish_report "$dir" fuzz targets
