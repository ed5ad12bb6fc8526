# Sourced by the check runners that are not gtest programs (fuzzing, static checks):
# they close like a gtest program does, with a summary and a gtest XML report that
# scripts/count-results.py counts with the test programs' own.
# Uses the caller's $passed, $failed and $cases (testcase elements, one a line).
finish_report() {  # finish_report <tree dir> <suite name> <what is counted, plural>
  local dir=$1 suite=$2 what=$3
  local total=$((passed + failed))
  if [ "$passed" -gt 0 ]; then echo "[  PASSED  ] $passed $what."; fi
  if [ "$failed" -gt 0 ]; then echo "[  FAILED  ] $failed $what."; fi
  {
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites tests=\"$total\" failures=\"$failed\" name=\"$suite\">"
    echo "  <testsuite name=\"$suite\" tests=\"$total\" failures=\"$failed\">"
    printf '%s' "$cases"
    echo "  </testsuite>"
    echo "</testsuites>"
  } > "$dir/test-results/$suite.xml"
  echo "$suite" > "$dir/ran-tests.txt"
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
}
