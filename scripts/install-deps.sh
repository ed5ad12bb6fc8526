#!/usr/bin/env bash
# Installs the Debian packages the builds and the Wine test runs need, and, where the
# kernel runs no 32-bit programs, the emulator that lets the shipped 32-bit exes run.
# Checks first, so a machine that has everything installs nothing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

arch_missing=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then arch_missing=1; fi

for p in cmake make g++ clang clang-format clang-tidy cppcheck libclang-rt-14-dev \
         mingw-w64 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 googletest \
         wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick librsvg2-bin zip unzip file \
         python3 util-linux; do
  have_pkg "$p" || need+=("$p")
done

SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

updated=0
apt_update() {
  [ "$updated" = 0 ] || return 0
  updated=1
  # A mirror in the middle of a sync serves an index of the wrong size, and apt-get
  # update then exits non-zero although every other index is fresh: go on with what
  # it has, and let the install say whether that is enough.
  $SUDO apt-get update -qq || echo "install-deps: some package indexes failed to download; going on with the others" >&2
}

# The security suite can carry a newer amd64 library whose i386 twin is not there yet,
# and wine32:i386 then cannot be resolved. The base release has both halves of every
# pair: try once more with it as the target.
apt_install() {
  $SUDO apt-get install -y -qq "$@" >/dev/null && return 0
  local codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || return 1
  echo "install-deps: retrying with the base release ($codename) as the target" >&2
  $SUDO apt-get install -y -qq -t "$codename" "$@" >/dev/null
}

if [ "$arch_missing" = 1 ] || [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}" >&2
  if [ "$arch_missing" = 1 ]; then $SUDO dpkg --add-architecture i386; fi
  apt_update
  apt_install "${need[@]}"
fi

# Emulated 32-bit Wine, for the stage that runs the shipped exes where the kernel
# cannot (scripts/wine-arch.sh tells the cases apart). Only root can register an
# interpreter, and only a kernel that refuses 32-bit programs gets one: a registered
# entry takes precedence over the kernel's own loader, and everything 32-bit would
# then run emulated.
[ "$(id -u)" = 0 ] || exit 0
[ "$("$here/wine-arch.sh")" = win64 ] || exit 0
binfmt=/proc/sys/fs/binfmt_misc
if ! have_pkg qemu-user-static; then
  echo "installing: qemu-user-static (this kernel runs no 32-bit programs)" >&2
  apt_update
  apt_install qemu-user-static || { echo "install-deps: qemu-user-static could not be installed" >&2; exit 0; }
fi
[ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
  # i386 ELF executables and shared objects; the F flag opens the interpreter now, so it
  # is found from inside any mount namespace or chroot later.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > "$binfmt/register" 2>/dev/null ||
    echo "install-deps: could not register qemu-i386 for 32-bit programs" >&2
fi
exit 0
