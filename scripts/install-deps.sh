#!/bin/sh
# Installs what the build, the tests and the demo need on Debian 12. Safe to
# run again: it only asks apt for packages that are missing.
set -eu

packages="
  cmake make git
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
  libz-mingw-w64-dev
  googletest
  wine wine32:i386 wine64
  xvfb xauth x11-apps imagemagick fonts-nanum locales
  python3-pyftpdlib openssl nlohmann-json3-dev
  coreutils clang-format
"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
