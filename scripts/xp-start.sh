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

passed=0 failed=0 cases=
for exe in "$@"; do
  name=$(basename "$exe" .exe)
  start=$(date +%s)
  log=$("$here/wine-run.sh" "$bench" --check "$exe" 60000 2>&1)
  rc=$?
  took=$(( $(date +%s) - start ))
  echo "$log"
  if [ "$rc" = 0 ]; then
    passed=$((passed + 1))
    echo "[       OK ] WindowsXp.${name}ShowsItsWindow"
    cases+="    <testcase classname=\"WindowsXp\" name=\"${name}ShowsItsWindow\" status=\"run\" result=\"completed\" time=\"$took\"/>"$'\n'
  else
    failed=$((failed + 1))
    echo "[  FAILED  ] WindowsXp.${name}ShowsItsWindow"
    message=$(printf '%s' "$log" | head -n 1 | sed 's/&/\&amp;/g; s/"/\&quot;/g; s/</\&lt;/g; s/>/\&gt;/g')
    cases+="    <testcase classname=\"WindowsXp\" name=\"${name}ShowsItsWindow\" status=\"run\" result=\"completed\" time=\"$took\"><failure message=\"${message:-no window}\"/></testcase>"$'\n'
  fi
done
mkdir -p "$(dirname "$report")"
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo "<testsuites tests=\"$((passed + failed))\" failures=\"$failed\" name=\"WindowsXp\">"
  echo "  <testsuite name=\"WindowsXp\" tests=\"$((passed + failed))\" failures=\"$failed\">"
  printf '%s' "$cases"
  echo "  </testsuite>"
  echo "</testsuites>"
} > "$report"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
