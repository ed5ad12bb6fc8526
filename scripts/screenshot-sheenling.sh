#!/usr/bin/env bash
# Screenshots of Sheenling both ways: with its manifest beside the exe (XP style) and
# without (standard style). Each copy runs in a Wine virtual desktop, which draws the
# window frame that a bare X server would not.
#
#   scripts/screenshot-sheenling.sh [folder with Sheenling.exe and its manifest] [output folder]
#
# Defaults: the Windows tree this machine runs (build/win32 or build/win64) and build/demo.
# Writes sheenling-xp.png and sheenling-classic.png and prints their paths. With
# PROJECT_WINE_DPI=144 the screen has 144 DPI and the names end in -144dpi.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tree=$("$root/scripts/wine-arch.sh")
exedir=$(cd "${1:-$root/build/$tree/demo}" && pwd)
outdir=${2:-$root/build/demo}
mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
for f in Sheenling.exe Sheenling.exe.manifest; do
  [ -f "$exedir/$f" ] || { echo "screenshot-sheenling: no $f in $exedir (build first)" >&2; exit 1; }
done

# A display of our own when there is none, and then a Wine prefix of our own too: Wine
# programs of other runs sharing a prefix share its desktop, which must not end with our
# display. Only what we start here is ended here.
# A screen of another DPI needs a prefix made for it, display or not.
own_prefix=
if [ -z "${DISPLAY:-}" ] || [ -n "${PROJECT_WINE_DPI:-}" ]; then
  own_prefix="$root/build/wineprefix-screenshots${PROJECT_WINE_DPI:+-${PROJECT_WINE_DPI}dpi}"
  export PROJECT_WINEPREFIX="$own_prefix"
fi
source "$root/scripts/wine-env.sh"
source "$root/scripts/display.sh"
work=
app_pid=
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$own_prefix" ] && "$root/scripts/wine-stop.sh" "$own_prefix"
  stop_xvfb
  [ -z "$work" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
start_xvfb 1024x768
"$root/scripts/wine-prefix.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/sheenling-shot.XXXXXX")

# The Unix process of the Windows program whose command line is exactly $1.
process_with_command_line() {
  local p line
  for p in /proc/[0-9]*; do
    # Wine pads a Windows program's command line with blanks.
    line=$({ tr '\0' ' ' <"$p/cmdline"; } 2>/dev/null) || continue
    line="${line%"${line##*[! ]}"}"
    if [ "$line" = "$1" ]; then echo "${p#/proc/}"; return 0; fi
  done
  return 1
}

# X window id and geometry (WxH+X+Y) of the window titled exactly $1, if shown.
window_geometry() {
  xwininfo -root -tree 2>/dev/null |
    awk -v t="\"$1\":" '$2 == t { for (i = 1; i <= NF; i++) if ($i ~ /^[0-9]+x[0-9]+\+/) { print $i; exit } }'
}

shoot() {  # shoot <name> <with manifest: yes|no> <png>
  local name=$1 manifest=$2 png=$3 dir="$work/$1" winexe geometry=
  mkdir -p "$dir"
  cp "$exedir/Sheenling.exe" "$dir/"
  [ "$manifest" = yes ] && cp "$exedir/Sheenling.exe.manifest" "$dir/"
  winexe="Z:${dir//\//\\}\\Sheenling.exe"
  "$WINE" explorer "/desktop=sheenling-$name,960x600" "$winexe" >/dev/null 2>&1 </dev/null &
  # The first program on a fresh display can take many seconds to appear.
  for _ in $(seq 600); do
    geometry=$(window_geometry Sheenling)
    [ -n "$geometry" ] && break
    sleep 0.1
  done
  [ -n "$geometry" ] || { echo "screenshot-sheenling: no Sheenling window ($name)" >&2; return 1; }
  app_pid=$(process_with_command_line "$winexe") || app_pid=
  sleep 2  # let it paint
  # The window sits in the desktop's corner; keep it and a margin of desktop around it.
  local w h
  w=${geometry%%x*}
  h=${geometry#*x}
  h=${h%%+*}
  import -window root -crop "$((w + 24))x$((h + 24))+0+0" +repage "$png"
  echo "$png"
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    # The virtual desktop goes with its last program.
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    app_pid=
  fi
  for _ in $(seq 100); do [ -z "$(window_geometry "sheenling-$name - Wine desktop")" ] && break; sleep 0.1; done
}

suffix=${PROJECT_WINE_DPI:+-${PROJECT_WINE_DPI}dpi}
shoot xp yes "$outdir/sheenling-xp$suffix.png"
shoot classic no "$outdir/sheenling-classic$suffix.png"
