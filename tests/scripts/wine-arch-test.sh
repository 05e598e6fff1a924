#!/usr/bin/env bash
# The choice of Wine architecture: the override, a 32-bit loader that
# starts, one that cannot (as on kernels without 32-bit support), and the
# 64-bit road's "wine" that the tools reach through PATH.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
check() {  # check WHAT GOT WANT
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: got \"$2\", want \"$3\""; failed=1; fi
}
decide() {  # decide [VAR=VALUE...]: "ANSWER|status" in a clean subshell
  (unset ORVEX_WINE_ARCH; export "$@"; . "$ROOT/scripts/wine-arch.sh"
   orvex_wine_decide; s=$?; echo "$ORVEX_WINE_ARCH_ANSWER|$s|$ORVEX_WINE_WHY") 2>/dev/null
}

# A loader that starts, and one whose image this kernel cannot execute: an
# ELF header for a machine no x86-64 kernel runs.
printf '#!/bin/sh\necho wine-test\n' >"$tmp/good"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\377\377' >"$tmp/bad"
chmod +x "$tmp/good" "$tmp/bad"

r=$(decide ORVEX_WINE_LOADER32="$tmp/good"); check "a 32-bit loader that starts" "${r%%|*}" 32
r=$(decide ORVEX_WINE_LOADER32="$tmp/bad"); check "a 32-bit loader that fails to start" "${r%%|*}" 64
case $r in *"does not start"*) check "the reason is given" yes yes ;; *) check "the reason is given" "$r" "does not start" ;; esac
r=$(decide ORVEX_WINE_LOADER32="$tmp/none"); check "no 32-bit loader" "${r%%|*}" 64
r=$(decide ORVEX_WINE_LOADER32="$tmp/good" ORVEX_WINE_ARCH=64); check "override to 64" "${r%%|*}" 64
r=$(decide ORVEX_WINE_LOADER32="$tmp/bad" ORVEX_WINE_ARCH=32); check "override to 32" "${r%%|*}" 32
r=$(decide ORVEX_WINE_ARCH=86); check "a bad override is an error" "$(echo "$r" | cut -d'|' -f1-2)" "|2"

# On 64, wine, wine-stable (what wineboot and the other tools exec) and
# WINELOADER all reach the 64-bit loader.
printf '#!/bin/sh\necho "loader $WINELOADER $*"\n' >"$tmp/loader64"
chmod +x "$tmp/loader64"
r=$(unset WINELOADER; ORVEX_WINE_LOADER64="$tmp/loader64"; . "$ROOT/scripts/wine-arch.sh"
    orvex_wine_use 64 && echo "$ORVEX_WIN_PRESET $(wine reg add x) / $(wine-stable wineboot.exe -i)")
check "the 64-bit road" "$r" "win64 loader $tmp/loader64 reg add x / loader $tmp/loader64 wineboot.exe -i"
r=$(. "$ROOT/scripts/wine-arch.sh"; orvex_wine_use 32 && echo "$ORVEX_WIN_PRESET $ORVEX_WINEARCH $ORVEX_SHIM_CFLAGS")
check "the 32-bit road" "$r" "win32 win32 -m32"
exit $failed
