#!/usr/bin/env bash
# The one place that decides which Windows architecture this machine runs
# under Wine, and sets up the environment for it. Source it, then:
#
#   orvex_wine_decide || exit         # sets ORVEX_WINE_ARCH_ANSWER (32 or 64)
#                                     # and ORVEX_WINE_WHY
#   orvex_wine_use "$ORVEX_WINE_ARCH_ANSWER"   # exports what the rest needs
#
# orvex_wine_decide answers 32 when Wine's 32-bit loader starts, 64 otherwise
# (some kernels run no 32-bit program: the loader fails with "Exec format
# error"). ORVEX_WINE_ARCH=32|64 overrides. ORVEX_WINE_LOADER32 names the
# 32-bit loader to try (tests point it elsewhere).
#
# orvex_wine_use ARCH exports ORVEX_WIN_PRESET (win32|win64),
# ORVEX_WINEARCH (win32|win64, for new prefixes), ORVEX_MINGW (the
# compiler prefix), ORVEX_SHIM_CFLAGS (for preload libraries that must match
# the loader), and on 64 a PATH whose "wine" and "wine-stable" are the 64-bit
# loader, with WINELOADER set, so wine, wineboot and "wine reg" all use it.
#
# Run directly, it prints the answer and why.

ORVEX_ROOT=${ORVEX_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

ORVEX_WINE_ARCH_ANSWER=""
ORVEX_WINE_WHY=""

orvex_wine_decide() {
  ORVEX_WINE_ARCH_ANSWER=""
  case ${ORVEX_WINE_ARCH:-} in
    32 | 64)
      ORVEX_WINE_WHY="ORVEX_WINE_ARCH=$ORVEX_WINE_ARCH"
      ORVEX_WINE_ARCH_ANSWER=$ORVEX_WINE_ARCH
      return 0 ;;
    "") ;;
    *)
      echo "ORVEX_WINE_ARCH must be 32 or 64, not \"$ORVEX_WINE_ARCH\"" >&2
      return 2 ;;
  esac
  local loader=${ORVEX_WINE_LOADER32:-/usr/lib/wine/wine} out
  if [ ! -x "$loader" ]; then
    ORVEX_WINE_WHY="Wine's 32-bit loader $loader is not installed"
    ORVEX_WINE_ARCH_ANSWER=64
    return 0
  fi
  # --version is answered by the loader itself, without a prefix or server.
  if out=$(timeout 20 "$loader" --version 2>&1); then
    ORVEX_WINE_WHY="Wine's 32-bit loader starts ($out)"
    ORVEX_WINE_ARCH_ANSWER=32
  else
    ORVEX_WINE_WHY="Wine's 32-bit loader does not start here: $(printf '%s' "$out" | head -n 1)"
    ORVEX_WINE_ARCH_ANSWER=64
  fi
}

orvex_wine_use() {
  case $1 in
    32)
      export ORVEX_WIN_PRESET=win32 ORVEX_WINEARCH=win32 ORVEX_MINGW=i686-w64-mingw32
      export ORVEX_SHIM_CFLAGS=-m32 ORVEX_SHIM_LIBDIR=i386-linux-gnu ;;
    64)
      export ORVEX_WIN_PRESET=win64 ORVEX_WINEARCH=win64 ORVEX_MINGW=x86_64-w64-mingw32
      export ORVEX_SHIM_CFLAGS=-m64 ORVEX_SHIM_LIBDIR=x86_64-linux-gnu
      export WINELOADER=${ORVEX_WINE_LOADER64:-/usr/lib/wine/wine64}
      case ":$PATH:" in
        *":$ORVEX_ROOT/scripts/wine64:"*) ;;
        *) export PATH="$ORVEX_ROOT/scripts/wine64:$PATH" ;;
      esac ;;
    *)
      echo "orvex_wine_use: architecture must be 32 or 64" >&2
      return 2 ;;
  esac
  export ORVEX_WINE_ARCH_USED=$1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -u
  orvex_wine_decide || exit $?
  echo "$ORVEX_WINE_ARCH_ANSWER ($ORVEX_WINE_WHY)"
fi
