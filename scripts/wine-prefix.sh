#!/usr/bin/env bash
# Makes the project's Wine prefix once; later calls find it ready and return at once.
# A lock keeps parallel test runs from initialising it twice.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
# Debian's Wine looks for its own fonts (Tahoma; Marlett, which draws the caption
# buttons) under a path it cannot resolve, and finds them in the prefix's Fonts folder.
# Each file is copied under a temporary name and renamed, so a program starting at the
# same time never sees half a font.
install_wine_fonts() {
  local dir="$WINEPREFIX/drive_c/windows/Fonts" f
  [ -d /usr/share/wine/fonts ] && [ -d "$dir" ] || return 0
  for f in /usr/share/wine/fonts/*.ttf; do
    [ -f "$dir/${f##*/}" ] && continue
    cp "$f" "$dir/.${f##*/}.$$" && mv -f "$dir/.${f##*/}.$$" "$dir/${f##*/}"
  done
}
# Every prefix holds the same 1.2 GB of Wine's DLLs, copied in by wineboot. The tree's
# finished prefixes share them as hard links (Wine replaces them only when it is
# updated, and then in every prefix alike), so each further prefix costs some 50 MB.
share_wine_files() {
  local dirs=() ready
  for ready in "$wine_root"/build/*/.ready "$wine_root"/build/*/*/.ready; do
    [ -d "${ready%/.ready}/drive_c/windows" ] && dirs+=("${ready%/.ready}/drive_c/windows")
  done
  [ ${#dirs[@]} -gt 1 ] || return 0
  hardlink --quiet --ignore-time --minimum-size 64K "${dirs[@]}" >/dev/null 2>&1 || true
}
[ -f "$WINEPREFIX/.ready" ] && { install_wine_fonts; exit 0; }
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.ready" ] && exit 0
"$WINE" wineboot -i >/dev/null 2>&1 || true
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix: could not create $WINEPREFIX" >&2; exit 1; }
# A prefix for a finer screen (PROJECT_WINE_DPI, e.g. 144): Wine takes the screen's DPI
# from the user's LogPixels.
if [ -n "${PROJECT_WINE_DPI:-}" ]; then
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$PROJECT_WINE_DPI" /f >/dev/null 2>&1 ||
    { echo "wine-prefix: could not set $PROJECT_WINE_DPI DPI in $WINEPREFIX" >&2; exit 1; }
  wineserver -w
fi
install_wine_fonts
touch "$WINEPREFIX/.ready"
share_wine_files
