#!/usr/bin/env bash
# make bench: builds the Windows tree that runs on this machine and times the
# enumeration methods against a plain loop over the raw API, under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
tree=$(scripts/wine-arch.sh)
scripts/build.sh "$tree"
scripts/wine-run.sh "build/$tree/bench/enum_bench.exe" "$@"
