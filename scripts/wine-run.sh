#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's own prefix. CMake uses this
# as the cross-compiling emulator, so plain ctest runs the Windows test programs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
"$here/wine-prefix.sh"
if [ -z "${DISPLAY:-}" ]; then
  # One Xvfb per prefix, kept for later programs: Wine's desktop process and the
  # persistent wineserver stay tied to the display they started on, so a display
  # that vanished after each program would break the next one.
  n=$((100 + $(printf '%s' "$WINEPREFIX" | cksum | cut -d' ' -f1) % 100))
  (
    flock 8
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then
      setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 8>&- &
      for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    fi
  ) 8>"$WINEPREFIX.xvfb.lock"
  export DISPLAY=":$n"
fi
# Wine's helper processes (services, the desktop) start with the first program and
# outlive it; started here, detached from our output, they cannot hold the test
# runner's pipe open after the program ends.
wineserver -p 60 >/dev/null 2>&1 || true
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
exec "$WINE" "$@"
