#!/usr/bin/env bash
# Ends every Wine process whose prefix lies in the tree (build/, or the folders given),
# and the displays our runners started for them: the servers with their services,
# devices and desktops, which otherwise outlive the programs that started them by hours.
# Each make target that starts Wine calls this when it ends, passed, failed or stopped.
#
#   wine-stop.sh [--check <report dir>] [folder...]
#
# --check: end nothing, only look, and write a gtest XML report (one case) under
# <report dir>/test-results for the closing count, failing when anything is left.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
check=
if [ "${1:-}" = --check ]; then check=$2; shift 2; fi
[ $# -gt 0 ] || set -- "$root/build"
# The prefixes are absolute paths: so are the folders, wherever this is called from. An
# empty folder would name every prefix on the machine, other people's too.
folders=()
for dir in "$@"; do [ -z "$dir" ] || folders+=("$(realpath -m "$dir")"); done
if [ ${#folders[@]} -eq 0 ] && [ -z "$check" ]; then exit 0; fi
set -- "${folders[@]}"

# "<pid> <prefix>" for each Wine process (or Xvfb, or the emulator running a 32-bit
# Wine process) whose WINEPREFIX lies in a folder given. The scripts themselves carry WINEPREFIX too, so only Wine's own programs count.
wine_processes() {
  local p exe prefix dir
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case $exe in /usr/lib/wine/* | */wine*-preloader | */qemu-i386* | */Xvfb) ;; *) continue ;; esac
    prefix=$({ tr '\0' '\n' <"$p/environ" | sed -n 's/^WINEPREFIX=//p'; } 2>/dev/null)
    [ -n "$prefix" ] || continue
    for dir in "$@"; do
      case $prefix/ in "$dir"/*) echo "${p#/proc/} $prefix"; break ;; esac
    done
  done
}

found=
[ -n "$check" ] || found=$(wine_processes "$@")
if [ -n "$found" ]; then
  # The server of a prefix ends its programs; whatever still runs a few seconds on
  # (a process that lost its server) is killed.
  while read -r prefix; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done < <(cut -d' ' -f2- <<<"$found" | sort -u)
  # A display does not end with Wine's server. Told to end, it takes its lock and socket
  # with it, which a killed one leaves behind, holding its number from later displays.
  for pid in $(cut -d' ' -f1 <<<"$found"); do
    case $(readlink "/proc/$pid/exe" 2>/dev/null) in */Xvfb) kill "$pid" 2>/dev/null ;; esac
  done
  for _ in $(seq 50); do
    found=$(wine_processes "$@")
    [ -n "$found" ] || break
    sleep 0.1
  done
  [ -z "$found" ] || kill -9 $(cut -d' ' -f1 <<<"$found") 2>/dev/null || true
fi

[ -n "$check" ] || exit 0
left=$(wine_processes "$@")
source "$root/scripts/report.sh"
mkdir -p "$check/test-results"
if [ -z "$left" ]; then
  record_case Cleanup NoWineProcessOfTheTreeIsLeft 0
else
  echo "Wine processes of the tree still running:"
  while read -r pid _; do echo "  $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"; done <<<"$left"
  record_case Cleanup NoWineProcessOfTheTreeIsLeft 0 \
    "$(wc -l <<<"$left") Wine processes of the tree still running"
fi
finish_report "$check" cleanup checks
