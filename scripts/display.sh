# Sourced by every script that needs a display; every Xvfb of the project starts here.
# A run's own display (start_xvfb, start_display) ends with the run, through stop_xvfb
# or stop_display in the caller's EXIT trap, armed before the start so that a run stopped
# while starting ends it too; the display kept for a prefix between programs
# (prefix_display) ends with that prefix's Wine. An Xvfb carries the WINEPREFIX of the
# shell that started it, so wine-stop.sh, and the check that closes `make test`, find it
# with the prefix's Wine.
display_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# start_xvfb [--kept] [<width>x<height>]: when there is no DISPLAY, an Xvfb of that size
# (1280x1024 unless given) on a free display number, taking connections by the time this
# returns; exports DISPLAY and sets XVFB_PID. --kept: a session of its own, so that it
# outlives the shell and the process group that started it.
start_xvfb() {
  local session=
  if [ "${1:-}" = --kept ]; then session=setsid; shift; fi
  local size=${1:-1280x1024} n ready from answer status
  [ -z "${DISPLAY:-}" ] || return 0
  for n in $(seq 90 499); do
    # A number in use, or left behind by a server that was killed, is passed over; one
    # taken between this look and the start ends that Xvfb at once, and the next is tried.
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
    ready=$(mktemp -u "${TMPDIR:-/tmp}/xvfb-ready.XXXXXX")
    mkfifo -m 600 "$ready" || return 1
    (
      # The pipe for Xvfb's answer is opened first: whatever ends this before Xvfb
      # answers closes it, and the read below sees the end instead of waiting.
      exec 3>"$ready"
      # Nothing else this shell holds open (a lock, a test runner's pipe) stays open for
      # the display's life.
      for fd in "/proc/$BASHPID"/fd/*; do
        fd=${fd##*/}
        if [ "$fd" -gt 3 ] 2>/dev/null; then eval "exec $fd>&-" 2>/dev/null || true; fi
      done
      exec $session Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -displayfd 3 \
        </dev/null >/dev/null 2>&1
    ) &
    XVFB_PID=$!
    exec {from}<"$ready"
    rm -f "$ready"
    # Xvfb writes its number there once it takes connections.
    answer=
    status=0
    read -r -t 60 -u "$from" answer || status=$?
    exec {from}<&-
    if [ "$answer" = "$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
    # Silence for a minute, unlike the end of one that lost its number, is a hung server,
    # and the next would hang too.
    if [ "$status" -gt 128 ]; then
      echo "display.sh: Xvfb :$n did not come up in 60 s" >&2
      return 1
    fi
  done
  echo "display.sh: no Xvfb came up on any display number from 90 to 499" >&2
  return 1
}

# Ends the display start_xvfb started in this shell, if it started one.
stop_xvfb() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
  fi
}

# Whether display number $1 is still served by the Xvfb of process $2.
xvfb_is_up() {
  [ -n "$1" ] && [ -n "$2" ] && [ -e "/tmp/.X11-unix/X$1" ] || return 1
  case $(tr '\0' ' ' <"/proc/$2/cmdline" 2>/dev/null) in "Xvfb :$1 "*) return 0 ;; esac
  return 1
}

# When there is no DISPLAY, the display of the prefix in use (WINEPREFIX), started by the
# first program that needs one and kept for the later ones: Wine's desktop process and the
# persistent wineserver stay tied to the display they started on, so a display that
# vanished after each program would break the next one. Its number and process are kept
# beside the prefix; it ends with the prefix's Wine (wine-stop.sh).
prefix_display() {
  [ -z "${DISPLAY:-}" ] || return 0
  local record="$WINEPREFIX.display" n="" pid=""
  (
    flock 8
    { read -r n pid <"$record"; } 2>/dev/null || true
    if xvfb_is_up "$n" "$pid"; then exit 0; fi
    start_xvfb --kept && echo "${DISPLAY#:} $XVFB_PID" >"$record"
  ) 8>"$WINEPREFIX.xvfb.lock" || return 1
  read -r n pid <"$record" || return 1
  export DISPLAY=":$n"
}

# A run's display when there is none, and one persistent wineserver so each Windows
# program starts fast.
start_display() {
  source "$display_root/scripts/wine-env.sh"
  start_xvfb
  "$display_root/scripts/wine-prefix.sh"
  wineserver -p >/dev/null 2>&1 || true
}
# Ends the Wine of the prefix in use, or of every prefix under the folders given, and the
# display start_display started.
stop_display() {
  "$display_root/scripts/wine-stop.sh" "${@:-${WINEPREFIX:-}}"
  stop_xvfb
}
