#!/usr/bin/env bash
# Starts each shipped program in a Wine prefix of its own that answers as Windows XP
# SP3 (5.1, build 2600) and checks that its window shows. Wine loads an exe whatever
# version it plays, so what XP's loader would refuse is the release test's business
# (imports and version fields); this shows the programs run when Windows says XP.
# Writes a gtest XML report, like the test programs, for the closing count.
#
#   xp-start.sh <prefix dir> <report.xml> <startup_bench.exe> <exe>...
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
prefix=$1 report=$2 bench=$3
shift 3
export PROJECT_WINEPREFIX=$prefix
"$here/wine-prefix.sh" || { echo "xp-start: could not make the prefix $prefix" >&2; exit 1; }
"$here/wine-run.sh" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1

source "$here/report.sh"
for exe in "$@"; do
  name=$(basename "$exe" .exe)
  start=$(date +%s)
  log=$("$here/wine-run.sh" "$bench" --check "$exe" 60000 2>&1)
  rc=$?
  took=$(( $(date +%s) - start ))
  echo "$log"
  if [ "$rc" = 0 ]; then
    echo "[       OK ] WindowsXp.${name}ShowsItsWindow"
    record_case WindowsXp "${name}ShowsItsWindow" "$took"
  else
    echo "[  FAILED  ] WindowsXp.${name}ShowsItsWindow"
    message=$(printf '%s' "$log" | head -n 1)
    record_case WindowsXp "${name}ShowsItsWindow" "$took" "${message:-no window}"
  fi
done
finish_report --report "$report" WindowsXp programs
