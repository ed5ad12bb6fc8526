#!/usr/bin/env bash
# make demo: Burnisher on a stand-in VB6 installation in a sandbox Wine prefix of its
# own (build/demo/prefix, never the user's). With a display Burnisher opens for you to
# click; headless, a driver clicks through the whole story under Xvfb, narrates it and
# leaves screenshots under build/demo/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

say() { echo "demo: $*"; }

scripts/install-deps.sh
mkdir -p build
tree=$(scripts/wine-arch.sh)
# DEMO_BUILD_DIR: an already built Windows tree to use instead of build/<tree>.
if [ -n "${DEMO_BUILD_DIR:-}" ]; then
  build=$DEMO_BUILD_DIR
else
  say "building the $tree tree (scripts/build.sh $tree)"
  scripts/build.sh "$tree" > build/demo-build.log 2>&1 || {
    tail -n 40 build/demo-build.log; echo "demo: the build failed (build/demo-build.log)" >&2; exit 1; }
  build=build/$tree
fi
burnisher_exe=$build/switcher/Burnisher.exe
probe_exe=$build/tests/switcher/probe/VB6.EXE
driver_exe=$build/tests/switcher/burnisher_demo_driver.exe
for f in "$burnisher_exe" "$build/switcher/VB6.EXE.Manifest" "$probe_exe" "$driver_exe"; do
  [ -f "$f" ] || { echo "demo: missing $f" >&2; exit 1; }
done

demo=$root/build/demo
mkdir -p "$demo"
rm -f "$demo"/*.png "$demo"/work/* 2>/dev/null || true
export PROJECT_WINEPREFIX=$demo/prefix
source scripts/wine-env.sh

source scripts/display.sh
cleanup() {
  scripts/wine-stop.sh "$demo"
  stop_xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM
# Headless: our own Xvfb, the size of the Wine desktop the screenshots come from.
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  start_xvfb 1024x768
else
  headless=0
fi

if [ ! -f "$WINEPREFIX/.ready" ]; then say "creating the sandbox prefix $WINEPREFIX (once, ~20 s)"; fi
scripts/wine-prefix.sh
# Wine's own Tahoma and Marlett (caption buttons) for the prefix, so the windows look right.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
  [ -f "/usr/share/wine/fonts/$f" ] && cp -n "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/" || true
done

# The stand-in VB6 installation, as a standard install lays it out.
vs="$WINEPREFIX/drive_c/Program Files/Microsoft Visual Studio"
mkdir -p "$vs/Common/IDE/IDE98" "$vs/VB98"
cp "$probe_exe" "$vs/VB98/VB6.EXE"
rm -f "$vs/VB98/VB6.EXE.Manifest"
view=/reg:64; [ "$tree" = win32 ] && view=/reg:32
"$WINE" reg add 'HKLM\SOFTWARE\Microsoft\VisualStudio\6.0' /v InstallDir /t REG_SZ \
  /d 'C:\Program Files\Microsoft Visual Studio\Common\IDE\IDE98' /f $view >/dev/null 2>&1
say "stand-in VB6: HKLM\\SOFTWARE\\Microsoft\\VisualStudio\\6.0 InstallDir = C:\\Program Files\\Microsoft Visual Studio\\Common\\IDE\\IDE98"
say "              C:\\Program Files\\Microsoft Visual Studio\\VB98\\VB6.EXE is a probe that reports its comctl32.dll"

# Burnisher installed with the manifest it ships.
app="$WINEPREFIX/drive_c/Program Files/Burnisher"
mkdir -p "$app"
cp "$burnisher_exe" "$build/switcher/VB6.EXE.Manifest" "$app/"
win_app='C:\Program Files\Burnisher\Burnisher.exe'
win_ide='C:\Program Files\Microsoft Visual Studio\VB98'

if [ "$headless" = 0 ]; then
  say "opening Burnisher on your display; click a button (the probe's answer follows)"
  "$WINE" "$win_app" || true
  "$WINE" "$win_ide\\VB6.EXE"
  exit 0
fi

work=$demo/work
mkdir -p "$work"
rm -f "$work"/*
cp "$driver_exe" "$work/driver.exe"
win_work=$("$WINE" winepath -w "$work" 2>/dev/null | tr -d '\r')
say "headless: driving the real window under Xvfb ($DISPLAY) in a Wine desktop"
"$WINE" explorer /desktop=demo,1024x768 "$(  "$WINE" winepath -w "$work/driver.exe" 2>/dev/null | tr -d '\r')" \
  "$win_app" "$win_ide" "$win_work" >/dev/null 2>&1 &
printed=0
deadline=$((SECONDS + 300))
while [ ! -f "$work/exit.txt" ] && [ $SECONDS -lt $deadline ]; do
  for want in "$work"/*.want; do
    [ -f "$want" ] || continue
    name=$(basename "$want" .want)
    read -r x y w h < "$want" || true
    m=12
    x=$((x > m ? x - m : 0)); y=$((y > m ? y - m : 0)); w=$((w + 2 * m)); h=$((h + 2 * m))
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$demo/$name.png" 2>/dev/null || true
    rm -f "$want"
  done
  if [ -f "$work/log.txt" ]; then
    total=$(wc -l < "$work/log.txt")
    if [ "$total" -gt "$printed" ]; then
      tail -n +$((printed + 1)) "$work/log.txt" | head -n $((total - printed)) | sed 's/^/  /'
      printed=$total
    fi
  fi
  sleep 0.2
done
if [ -f "$work/log.txt" ]; then tail -n +$((printed + 1)) "$work/log.txt" | sed 's/^/  /'; fi
code=$(tr -dc "0-9" < "$work/exit.txt" 2>/dev/null || true); code=${code:-1}
for png in "$demo"/*.png; do [ -f "$png" ] && say "screenshot $png"; done

if [ -x scripts/screenshot-sheenling.sh ]; then
  say "Sheenling's screenshots (scripts/screenshot-sheenling.sh)"
  scripts/screenshot-sheenling.sh "$build/demo" "$demo" || { echo "demo: Sheenling's screenshots failed" >&2; code=1; }
fi
if [ "$code" = 0 ]; then say "done: the IDE went to the XP style and back."; else say "FAILED (see above)"; fi
exit "$code"
