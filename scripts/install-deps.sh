#!/usr/bin/env bash
# Installs, from Debian's packages, what an entry point needs and this
# machine lacks. Safe to run again: it runs nothing when all is there.
#
#   scripts/install-deps.sh run    # the run command: build and run under Wine
#   scripts/install-deps.sh test   # everything the tests need (the default)
#
# The 32-bit road (the i386 architecture and wine32:i386) is a group of its
# own and optional: where it cannot be installed, one line says why and the
# 64-bit build is used (scripts/wine-arch.sh decides). apt-get update is
# retried, and lists that still fail are named and left out: apt keeps the
# ones it fetched. Exits nonzero only when a package the entry point cannot
# do without cannot be installed.
#
# ORVEX_APT_TRIES (3) and ORVEX_APT_PAUSE (5 s) shape the retries. An entry
# point that has run this exports ORVEX_DEPS_CHECKED, so that the scripts it
# calls do not run it again.
set -uo pipefail

profile=${1:-test}
run_pkgs=(cmake make g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
          wine wine64 xvfb xauth xdotool x11-apps imagemagick)
test_pkgs=("${run_pkgs[@]}" libgtest-dev libgmock-dev clang libclang-rt-14-dev python3
           nlohmann-json3-dev libcli11-dev libbenchmark-dev qemu-system-x86 busybox-static cpio
           linux-libc-dev libsystemd-dev python3-dbusmock dbus-daemon dpkg-dev fakeroot lintian
           help2man man-db pkg-config ansible-core)
case $profile in
  run) pkgs=("${run_pkgs[@]}") ;;
  test) pkgs=("${test_pkgs[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac
case ${ORVEX_DEPS_CHECKED:-} in
  test | "$profile") exit 0 ;;
esac

tries=${ORVEX_APT_TRIES:-3}
pause=${ORVEX_APT_PAUSE:-5}
say() { echo "install-deps: $*" >&2; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

need=()
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done
need32=()
have_pkg wine32:i386 || need32=(wine32:i386)
[ ${#need[@]} -eq 0 ] && [ ${#need32[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  if [ ${#need[@]} -gt 0 ]; then
    say "missing packages: ${need[*]} (run this script as root to install them)"
    exit 1
  fi
  say "wine32:i386 is not installed (root installs it); the 64-bit build is used"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive

# apt-get update, tried a few times. Lists that still fail are named and
# left out; an archive that answers nothing at all is an error.
apt_update() {
  local i out="" rc=0
  for ((i = 1; i <= tries; i++)); do
    out=$(apt-get update 2>&1) && return 0
    rc=$?
    [ "$i" -lt "$tries" ] && sleep "$pause"
  done
  if ! grep -qE '^(Hit|Get):' <<<"$out"; then
    local why
    why=$(sed -nE 's/^[EW]: Failed to fetch [^ ]+ +(.*)/\1/p' <<<"$out" | head -n 1)
    [ -n "$why" ] || why=$(grep -m1 -E '^[EW]: ' <<<"$out" | sed -E 's/^[EW]: //')
    say "the package archive answered nothing (apt-get update, status $rc, $tries tries): ${why:-no output}"
    return 1
  fi
  local lists
  lists=$(sed -nE 's/^[EW]: Failed to fetch ([^ ]+).*/\1/p' <<<"$out" | sed -E 's#^[a-z]+://##' | sort -u | paste -sd ' ')
  [ -n "$lists" ] || lists=$(sed -nE 's/^Err:[0-9]+ (.*)/\1/p' <<<"$out" | sort -u | paste -sd ';')
  say "apt-get update could not fetch ${lists:-some lists} after $tries tries; going on with the lists it has"
  return 0
}

# apt's reason why PACKAGE cannot be installed, from a simulated install.
why_not() {
  local out
  out=$(apt-get install -s -y --no-install-recommends "$1" 2>&1) && return 1
  local reason
  reason=$(grep -m1 -E '^ +[^ ]+ : |^E: ' <<<"$out" | sed -E 's/^ +//; s/^E: //')
  echo "${reason:-$(tail -n 1 <<<"$out")}"
  return 0
}

# install PACKAGE...: installs them; each one that cannot be is named in one
# line with apt's reason and left out. FAILED lists those.
FAILED=()
install() {
  FAILED=()
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>&1 && return 0
  local ok=() p reason
  for p in "$@"; do
    if reason=$(why_not "$p"); then
      FAILED+=("$p")
      say "cannot install $p: $reason"
    else
      ok+=("$p")
    fi
  done
  if [ ${#ok[@]} -gt 0 ]; then
    local out
    if ! out=$(apt-get install -y -qq --no-install-recommends "${ok[@]}" 2>&1); then
      FAILED+=("${ok[@]}")
      say "cannot install ${ok[*]}: $(grep -m1 '^E: ' <<<"$out" | sed 's/^E: //')"
    fi
  elif [ ${#FAILED[@]} -eq 0 ]; then
    FAILED=("$@")
    say "cannot install $*"
  fi
  [ ${#FAILED[@]} -eq 0 ]
}

t0=$SECONDS
if [ ${#need[@]} -gt 0 ]; then
  say "installing for the $profile command: ${need[*]}"
  apt_update || exit 1
  if ! install "${need[@]}"; then
    say "the $profile command cannot run without ${FAILED[*]}"
    exit 1
  fi
fi

# The 32-bit road: the i386 architecture and Wine's 32-bit loader, or
# neither. An architecture added here is taken away again when its
# packages cannot be had, so that no later apt-get trips over it.
if [ ${#need32[@]} -gt 0 ]; then
  added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 && added=1
  fi
  ok32=0
  if [ "$added" = 1 ] || [ ${#need[@]} -eq 0 ]; then
    apt_update && install "${need32[@]}" && ok32=1
  else
    install "${need32[@]}" && ok32=1
  fi
  if [ "$ok32" = 0 ]; then
    [ "$added" = 1 ] && dpkg --remove-architecture i386
    say "the 32-bit road cannot be installed (i386 architecture, ${need32[*]}); the 64-bit build is used"
  fi
fi
say "done in $((SECONDS - t0)) s"
exit 0
