# Sourced: the project's Wine settings. Its own prefix inside the build tree (never
# ~/.wine), Wine's diagnostics off, and the loader that this machine can run.
wine_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${PROJECT_WINEPREFIX:-$wine_root/build/wineprefix}
export PROJECT_WINEPREFIX=$WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The stage that runs the 32-bit tree under emulation (PROJECT_EMULATED): qemu-user must
# reserve the guest's address space at once, or Wine cannot place its shared user data
# (c0000018). Reserved only a little past the 2 GiB a 32-bit Windows program sees: qemu
# 7.2 ignores MAP_FIXED_NOREPLACE, and Wine then probes the space above 2 GiB 64 KiB at
# a time whenever it starts a process, some 50 s at 0xffff0000 and 13 s at this size,
# which leaves Wine's Unix side 128 MiB.
# A program that crashes there ends at once: Wine's debugger, started for it, would be
# another emulated 32-bit process, and one that can hang the run.
if [ -n "${PROJECT_EMULATED:-}" ]; then
  export QEMU_RESERVED_VA=0x88000000
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"
fi
if [ "$("$wine_root/scripts/wine-arch.sh")" = win64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi
