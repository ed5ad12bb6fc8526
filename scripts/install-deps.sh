#!/usr/bin/env bash
# Installs the Debian packages the two builds and the Wine test runs need.
# Checks first, so a machine that has everything installs nothing.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

arch_missing=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then arch_missing=1; fi

for p in cmake make g++ clang clang-format clang-tidy cppcheck libclang-rt-14-dev \
         mingw-w64 g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 googletest \
         wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick librsvg2-bin zip unzip file python3; do
  have_pkg "$p" || need+=("$p")
done

if [ "$arch_missing" = 0 ] && [ ${#need[@]} = 0 ]; then
  exit 0
fi

if [ "$(id -u)" != 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "installing: ${need[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if [ "$arch_missing" = 1 ]; then $SUDO dpkg --add-architecture i386; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${need[@]}" >/dev/null
