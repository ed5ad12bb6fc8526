#!/usr/bin/env bash
# Makes the project's Wine prefix once; later calls find it ready and return at once.
# A lock keeps parallel test runs from initialising it twice.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"
[ -f "$WINEPREFIX/.ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.ready" ] && exit 0
"$WINE" wineboot -i >/dev/null 2>&1 || true
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix: could not create $WINEPREFIX" >&2; exit 1; }
touch "$WINEPREFIX/.ready"
