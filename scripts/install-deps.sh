#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# this machine lacks. Safe to run again: it does nothing when all is there.
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

pkgs=(cmake make g++ libgtest-dev libgmock-dev g++-mingw-w64-i686 mingw-w64-tools
      wine wine32:i386 xvfb xauth xdotool x11-apps imagemagick clang libclang-rt-14-dev
      python3 wine64 g++-mingw-w64-x86-64 nlohmann-json3-dev libcli11-dev libbenchmark-dev
      qemu-system-x86 busybox-static cpio linux-libc-dev libsystemd-dev python3-dbusmock dbus-daemon
      dpkg-dev fakeroot lintian help2man man-db pkg-config ansible-core)
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${need[*]} (run this script as root to install them)" >&2
  exit 1
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
