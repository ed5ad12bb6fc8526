# Sourced by the runners: one Xvfb for a whole run when there is no display, and
# one persistent wineserver so each Windows program starts fast.
start_display() {
  if [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 140); do
      if [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; then continue; fi
      Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      export DISPLAY=:$n
      for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
      break
    done
  fi
  source "$root/scripts/wine-env.sh"
  "$root/scripts/wine-prefix.sh"
  wineserver -p >/dev/null 2>&1 || true
}
# Ends the Wine of the prefix in use, or of every prefix under the folders given.
stop_display() {
  "$root/scripts/wine-stop.sh" "${@:-$WINEPREFIX}"
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
