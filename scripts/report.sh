# Sourced by the check runners that are not gtest programs (fuzzing, static checks, the
# consumer checks, the XP start, the cleanup check, the emulated stage's skip): they
# close like a gtest program does, with a summary and a gtest XML report that
# scripts/count-results.py counts with the test programs' own. This is the only place
# that writes testcase elements, so every runner's report reads the same way.
# Sourcing it starts the counts: $passed, $failed and $cases (testcase elements, one a line).
passed=0
failed=0
cases=""

# Text fit for an XML attribute.
xml_attribute() { printf '%s' "$1" | sed 's/&/\&amp;/g; s/"/\&quot;/g; s/</\&lt;/g; s/>/\&gt;/g'; }

# Counts one case and adds its testcase element: record_case <class> <name> <seconds>
# [failure message] (a message, however short, marks it failed).
record_case() {
  local class=$1 name=$2 took=$3 message=${4-}
  local element="    <testcase classname=\"$class\" name=\"$name\" status=\"run\" result=\"completed\" time=\"$took\""
  if [ $# -lt 4 ]; then
    passed=$((passed + 1))
    cases+="$element/>"$'\n'
  else
    failed=$((failed + 1))
    cases+="$element><failure message=\"$(xml_attribute "$message")\"/></testcase>"$'\n'
  fi
}

# Adds a case that did not run and why: record_skipped <class> <name> <reason>.
record_skipped() {
  cases+="    <testcase classname=\"$1\" name=\"$2\" status=\"run\" result=\"skipped\" time=\"0\"><skipped message=\"$(xml_attribute "$3")\"/></testcase>"$'\n'
}

# Closes the run: the summary, the report and the line "N passed, N failed"; fails when
# a case failed.
#   finish_report <tree dir> <suite name> <what is counted, plural>
#     the report goes to <tree dir>/test-results/<suite name>.xml, and
#     <tree dir>/ran-tests.txt names it for scripts/count-results.py;
#   finish_report --report <file> <suite name> <what is counted, plural>
#     the report goes to <file> alone: a ctest entry's, whose tree lists it already.
finish_report() {
  local report ran=
  if [ "$1" = --report ]; then
    report=$2
    shift 2
  else
    report=$1/test-results/$2.xml
    ran=$1/ran-tests.txt
    shift
  fi
  local suite=$1 what=$2
  local total=$((passed + failed))
  if [ "$passed" -gt 0 ]; then echo "[  PASSED  ] $passed $what."; fi
  if [ "$failed" -gt 0 ]; then echo "[  FAILED  ] $failed $what."; fi
  mkdir -p "$(dirname "$report")"
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites tests=\"$total\" failures=\"$failed\" name=\"$suite\">"
    echo "  <testsuite name=\"$suite\" tests=\"$total\" failures=\"$failed\">"
    printf '%s' "$cases"
    echo "  </testsuite>"
    echo "</testsuites>"
  } > "$report"
  [ -z "$ran" ] || echo "$suite" > "$ran"
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}
