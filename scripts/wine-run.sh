#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's own prefix. CMake uses this
# as the cross-compiling emulator, so plain ctest runs the Windows test programs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
"$here/wine-prefix.sh"
# Headless, the prefix's own display, kept for its later programs.
source "$here/display.sh"
prefix_display
# Wine's helper processes (services, the desktop) start with the first program and
# outlive it; started here, detached from our output, they cannot hold the test
# runner's pipe open after the program ends.
wineserver -p 60 >/dev/null 2>&1 || true
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
exec "$WINE" "$@"
