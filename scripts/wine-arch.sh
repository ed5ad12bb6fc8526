#!/usr/bin/env bash
# Tells which Windows tree this machine runs under Wine.
#
#   wine-arch.sh             "win32" when 32-bit Wine runs on the kernel itself, else "win64"
#   wine-arch.sh --emulated  exit 0 when 32-bit Wine runs through a registered emulator
#                            (qemu-user); otherwise prints why not and exits 1
#
# A kernel built or booted without 32-bit emulation refuses every 32-bit Linux program,
# Wine's 32-bit loader included. An interpreter registered for i386 programs makes them
# start again, but emulated, some twenty times slower: that must never pass for the
# kernel's own, so a machine with such an entry enabled counts as one without.
binfmt=/proc/sys/fs/binfmt_misc
i386_emulator() {
  local entry
  for entry in "$binfmt"/*; do
    [ -f "$entry" ] || continue
    grep -qx enabled "$entry" 2>/dev/null &&
      grep -q '^magic 7f454c46010101.*02000300$' "$entry" 2>/dev/null && return 0
  done
  return 1
}
starts() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

if [ "${1:-}" = --emulated ]; then
  if ! i386_emulator; then
    echo "no emulator is registered for 32-bit programs (scripts/install-deps.sh registers qemu-i386 when run as root)"
    exit 1
  fi
  QEMU_RESERVED_VA=0xffff0000 starts && exit 0
  echo "32-bit Wine does not start under the registered emulator"
  exit 1
fi
if ! i386_emulator && starts; then echo win32; else echo win64; fi
