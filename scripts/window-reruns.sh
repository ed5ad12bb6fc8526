# Sourced by the runners of the Windows trees.
# A program driven through its windows under Wine depends on a desktop it shares with
# Wine's own processes; a window test that failed is run once more, and passes only if
# that run is clean. Its first report stays beside the second (<name>.first-run.xml)
# and the summary names it with its first failure, so a flaky test is never silent.
# Returns 0 when every failure of the tree passed on its second run.
rerun_window_tests() {
  local dir=$1 log="$1/Testing/Temporary/LastTestsFailed.log" failed name still=()
  [ "$dir" != build/host ] && [ -f "$log" ] || return 1
  failed=$(cut -d: -f2 "$log")
  local gui
  # So is a run under emulation (labelled "emulated"): qemu-user now and then fails a
  # Wine process of many threads (a lost server wakeup, an assertion in ld.so).
  gui=$(ctest --test-dir "$dir" -N -L 'gui|emulated' | sed -n 's/^ *Test *#[0-9]*: //p')
  for name in $failed; do
    if ! grep -qx "$name" <<< "$gui"; then still+=("$name"); continue; fi
    [ -f "$dir/test-results/$name.xml" ] &&
      mv "$dir/test-results/$name.xml" "$dir/test-results/$name.first-run.xml"
    echo "[${dir#build/}] $name failed; running it once more" >> "$dir/ctest.log"
    ctest --test-dir "$dir" -R "^$name\$" --output-on-failure >> "$dir/ctest.log" 2>&1 ||
      still+=("$name")
  done
  # The reruns rewrote the list of failures: put back what still fails.
  : > "$log"
  for name in "${still[@]}"; do echo "0:$name" >> "$log"; done
  [ ${#still[@]} -eq 0 ]
}
