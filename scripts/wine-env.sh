# Sourced: the project's Wine settings. Its own prefix inside the build tree (never
# ~/.wine), Wine's diagnostics off, and the loader that this machine can run.
wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${PROJECT_WINEPREFIX:-$wine_root/build/wineprefix}
export PROJECT_WINEPREFIX=$WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ "$("$wine_root/scripts/wine-arch.sh")" = win64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi
