#!/usr/bin/env bash
# make burnisher: Burnisher on your display, in your own Wine prefix ($WINEPREFIX, or
# ~/.wine), where your VB6 IDE is installed. The exe runs from the build output, with
# the VB6.EXE.Manifest it installs beside it.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if [ -z "${DISPLAY:-}" ]; then
  echo "burnisher: no DISPLAY; Burnisher is a window for you to click (try 'make demo' headless)" >&2
  exit 1
fi
scripts/install-deps.sh
mkdir -p build
tree=$(scripts/wine-arch.sh)
[ "$tree" = win64 ] && echo "burnisher: this machine runs no 32-bit Wine; using the 64-bit build" >&2
scripts/build.sh "$tree" > build/burnisher-build.log 2>&1 || {
  tail -n 40 build/burnisher-build.log; echo "burnisher: the build failed" >&2; exit 1; }
export WINEDEBUG=${WINEDEBUG:--all}
wine=wine
if [ "$tree" = win64 ]; then export WINELOADER=/usr/lib/wine/wine64; wine=/usr/lib/wine/wine64; fi
echo "burnisher: running in ${WINEPREFIX:-$HOME/.wine}"
exec "$wine" "$root/build/$tree/switcher/Burnisher.exe"
