#!/usr/bin/env bash
# The package installer's decisions, against stand-ins for apt-get, dpkg and
# dpkg-query on PATH that play an archive in a known mood: one list broken,
# i386 packages that cannot be had, a package missing, an archive that
# answers nothing, and a machine that has everything.
set -u
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
check() {  # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; sed 's/^/  | /' "$S/out"; failed=1; fi
}
has() { grep -q -- "$1" "$S/out"; }
lines() { [ "$(grep -c -- "$1" "$S/out")" = "$2" ]; }

bin=$tmp/bin
mkdir -p "$bin"
cat >"$bin/apt-get" <<'EOF'
#!/bin/bash
S=$FAKE_APT
echo "apt-get $*" >>"$S/calls"
i386() { grep -qx i386 "$S/archs"; }
case $1 in
  update)
    if [ -e "$S/dead" ]; then
      echo "Err:1 http://deb.example/debian bookworm InRelease"
      echo "  Temporary failure resolving 'deb.example'"
      echo "W: Failed to fetch http://deb.example/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.example'"
      exit 100
    fi
    echo "Hit:1 http://deb.example/debian bookworm InRelease"
    if [ -e "$S/broken-list" ] && i386; then
      echo "Err:5 http://deb.example/debian-security bookworm-security/main i386 Packages"
      echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  install)
    sim=0 pk=()
    for a in "${@:2}"; do case $a in -s) sim=1 ;; -*) ;; *) pk+=("$a") ;; esac; done
    for p in "${pk[@]}"; do
      if grep -qx "$p" "$S/unavailable" 2>/dev/null; then echo "E: Unable to locate package $p"; exit 100; fi
      if [ "$p" = wine32:i386 ] && { ! i386 || [ -e "$S/broken-list" ]; }; then
        echo " wine32:i386 : Depends: libwine:i386 (= 8.0) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
      fi
    done
    [ "$sim" = 1 ] && exit 0
    printf '%s\n' "${pk[@]}" >>"$S/installed"
    if printf '%s\n' "${pk[@]}" | grep -qx wine32:i386; then
      mkdir -p "$S/lib" && printf '#!/bin/sh\necho wine-8.0\n' >"$S/lib/wine" && chmod +x "$S/lib/wine"
    fi ;;
esac
EOF
cat >"$bin/dpkg-query" <<'EOF'
#!/bin/bash
grep -qx "${!#}" "$FAKE_APT/installed" 2>/dev/null && printf 'install ok installed'
EOF
cat >"$bin/dpkg" <<'EOF'
#!/bin/bash
S=$FAKE_APT
case $1 in
  --print-foreign-architectures) cat "$S/archs" ;;
  --add-architecture) echo "$2" >>"$S/archs" ;;
  --remove-architecture) grep -vx "$2" "$S/archs" >"$S/archs.new"; mv "$S/archs.new" "$S/archs" ;;
esac
EOF
printf '#!/bin/sh\necho 0\n' >"$bin/id"
chmod +x "$bin"/*

n=0
machine() {  # machine FILE...: a new machine with these state files
  n=$((n + 1))
  S=$tmp/m$n
  mkdir -p "$S"
  : >"$S/archs"
  : >"$S/installed"
  local f
  for f in "$@"; do touch "$S/$f"; done
}
deps() {  # deps PROFILE: the script on the current machine; RC its status
  env -u ORVEX_DEPS_CHECKED PATH="$bin:$PATH" FAKE_APT="$S" ORVEX_APT_PAUSE=0 \
    bash "$ROOT/scripts/install-deps.sh" "$@" >"$S/out" 2>&1
  RC=$?
}
installed() { grep -qx "$1" "$S/installed"; }

# Today's archive: the i386 list of the security suite is broken on a
# machine that had i386 already.
machine broken-list
echo i386 >"$S/archs"
deps run
check "one list failing: the script goes on" [ "$RC" = 0 ]
check "one list failing: one line names it" lines "could not fetch deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz" 1
check "one list failing: the run command's packages are installed" installed wine64
check "an i386 architecture that was there before stays" grep -qx i386 "$S/archs"

# A fresh machine where i386 packages cannot be had: the 64-bit road.
machine broken-list
deps test
check "no i386 packages: the script goes on" [ "$RC" = 0 ]
check "no i386 packages: one line says so and names the 64-bit build" lines "32-bit road cannot be installed.*64-bit build is used" 1
check "no i386 packages: apt's reason is given" has "wine32:i386 : Depends: libwine:i386"
check "no i386 packages: the added architecture is taken away again" [ ! -s "$S/archs" ]
check "no i386 packages: the tests' packages are installed" installed qemu-system-x86
r=$(unset ORVEX_WINE_ARCH; ORVEX_WINE_LOADER32="$S/lib/wine"; . "$ROOT/scripts/wine-arch.sh"
    orvex_wine_decide; echo "$ORVEX_WINE_ARCH_ANSWER")
check "no i386 packages: wine-arch.sh answers 64" [ "$r" = 64 ]

# Where everything installs, the 32-bit road is there.
machine
deps run
check "a good archive: done" [ "$RC" = 0 ]
check "a good archive: wine32:i386 is installed" installed wine32:i386
check "the run command installs nothing of the tests" bash -c "! grep -qx -e qemu-system-x86 -e lintian -e libgtest-dev -e clang '$S/installed'"
r=$(unset ORVEX_WINE_ARCH; ORVEX_WINE_LOADER32="$S/lib/wine"; . "$ROOT/scripts/wine-arch.sh"
    orvex_wine_decide; echo "$ORVEX_WINE_ARCH_ANSWER")
check "a good archive: wine-arch.sh answers 32" [ "$r" = 32 ]

# A package the entry point needs is not in the archive.
machine
echo xdotool >"$S/unavailable"
deps run
check "a needed package missing: nonzero status" [ "$RC" != 0 ]
check "a needed package missing: named with apt's reason" lines "cannot install xdotool: Unable to locate package xdotool" 1
check "a needed package missing: the entry point is named" has "run command cannot run without xdotool"
check "a needed package missing: the others are installed" installed xvfb

# An archive that answers nothing.
machine dead
deps run
check "a silent archive: nonzero status" [ "$RC" != 0 ]
check "a silent archive: one line with apt's reason" lines "answered nothing.*Temporary failure resolving" 1

# Everything present: nothing is run.
machine
deps test
mv "$S/calls" "$S/first-calls"
deps test
check "all present: nothing is run" [ "$RC" = 0 ] && [ ! -e "$S/calls" ] && [ ! -s "$S/out" ]

[ "$failed" -eq 0 ] && echo "install-deps: every decision as expected"
exit "$failed"
