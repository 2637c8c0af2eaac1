#!/bin/sh
# Installs what the build and the tests need on Debian 12, once: when everything is
# there already it only checks and returns within a second or two. Further packages
# that one script needs (the pictures need imagemagick) are given as arguments.
set -eu
packages="cmake ninja-build g++ clang libclang-rt-14-dev g++-mingw-w64-i686 libz-mingw-w64-dev
  zlib1g-dev libssl-dev googletest wine wine32:i386 libgnutls30:i386 xvfb osslsigncode openssl python3 curl $*"
# libgnutls30:i386 is only recommended by Wine, but its CNG needs it for ECDSA (signature checks).

missing=""
for p in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ]; then sudo=""; else sudo="sudo"; fi
echo "Installing:$missing" >&2
# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror caught in the middle of a sync can fail one index (seen: the i386 index of
# the security suite); the install below tells whether what was fetched is enough.
$sudo apt-get update -qq || echo "apt-get update reported errors; trying with the indexes it has" >&2
install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" $missing >/dev/null
}
if ! install; then
  # Without that index the 32-bit half cannot match the 64-bit libraries' security
  # versions; the release's own versions match each other.
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "Retrying from $suite alone" >&2
  install -t "$suite"
fi
