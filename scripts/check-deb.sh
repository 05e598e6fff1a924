#!/usr/bin/env bash
# Builds the Debian package of orvex-cli and checks it as a user gets it:
#
#   scripts/check-deb.sh [--no-build]
#
# - the preset deb makes build/deb/orvex-cli_<version>-<revision>_<arch>.deb,
#   the version res/Version.h's, the revision res/deb/changelog's;
# - it holds exactly the program, its library in the private folder, the
#   manual page, copyright and changelog.Debian.gz, owned by root, with
#   Debian's modes; its Depends are what dpkg-shlibdeps finds in its binaries;
# - lintian finds no error, and no warning but the ones listed below;
# - apt would install it here and nothing else (apt-get install -s ./FILE);
# - installed into an empty root with dpkg --root (the dependencies taken
#   from this system's installed versions), the program prints its version,
#   man renders its page without a warning, with every option the program
#   knows, and the program, run in that root, loads its library from the
#   private folder even with a decoy beside it, and offers no simulated
#   drive (the package has none); removing it leaves nothing.
# Prints one line per check that fails, the time of each step, the path of
# the .deb ("deb: PATH") and "package deb: ok" or "FAILED"; exits nonzero
# when a check failed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
for a in "$@"; do
  case $a in
    --no-build) build=0 ;;
    -h | --help) sed -n '2,21p' "$0"; exit 0 ;;
    *) echo "usage: $0 [--no-build]" >&2; exit 64 ;;
  esac
done

# Warnings that stay, each with its reason.
#   initial-upload-closes-no-bugs: the package is not uploaded to Debian, so
#     there is no ITP bug for its first changelog entry to close.
allowed_warnings="initial-upload-closes-no-bugs"

bad=0
problem() { echo "  $*"; bad=1; }
t_start=$SECONDS
timed() {  # timed NAME: prints how long the step since the last call took
  echo "  ($1: $((SECONDS - t_start)) s)"
  t_start=$SECONDS
}

version=$(sed -n 's/^#define ORVEX_VERSION "\(.*\)"$/\1/p' res/Version.h)
revision=$(dpkg-parsechangelog -l res/deb/changelog -S Version | sed 's/.*-//')
arch=$(dpkg --print-architecture)
deb=$root/build/deb/orvex-cli_${version}-${revision}_${arch}.deb
dpkg --validate-version "$version-$revision" || problem "$version-$revision is no Debian version"

if [ "$build" = 1 ]; then
  log=$root/build/deb.package.log
  mkdir -p build
  { cmake --preset deb && cmake --build --preset deb --target package; } >"$log" 2>&1 ||
    { tail -n 20 "$log"; echo "package deb: FAILED (build, $log)"; exit 1; }
  timed "build and package"
fi
[ -f "$deb" ] || { echo "package deb: FAILED (no $deb)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# What it holds, owners and modes.
libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/orvex
listed=$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print $1, $2, $6}' | sort)
want=$(sort <<EOF
-rw-r--r-- root/root ./usr/share/doc/orvex-cli/changelog.Debian.gz
-rw-r--r-- root/root ./usr/share/doc/orvex-cli/copyright
-rw-r--r-- root/root ./usr/share/doc/orvex-cli/orvex-cli-json.md.gz
-rw-r--r-- root/root ./usr/share/man/man1/orvex-cli.1.gz
-rw-r--r-- root/root .$libdir/libwnaspi32.so
-rwxr-xr-x root/root ./usr/bin/orvex-cli
EOF
)
[ "$listed" = "$want" ] || problem "the package holds:" $'\n'"$listed"
dpkg-deb -c "$deb" | awk '$6 ~ /\/$/ && ($1 != "drwxr-xr-x" || $2 != "root/root") {print "  folder:", $0}' |
  grep . && bad=1

# The control fields; Depends exactly as dpkg-shlibdeps finds them.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = orvex-cli ] || problem "Package: $(field Package)"
[ "$(field Version)" = "$version-$revision" ] || problem "Version: $(field Version), not $version-$revision"
[ "$(field Architecture)" = "$arch" ] || problem "Architecture: $(field Architecture)"
for f in Pre-Depends Recommends Suggests Conflicts Breaks Provides; do
  [ -z "$(field "$f")" ] || problem "$f: $(field "$f") (only Depends, from dpkg-shlibdeps)"
done
dpkg-deb -x "$deb" "$work/x"
mkdir -p "$work/shlibs/debian"
printf 'Source: orvex-cli\n\nPackage: orvex-cli\nArchitecture: any\n' >"$work/shlibs/debian/control"
found=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$work/x/usr/bin/orvex-cli" "$work/x$libdir/libwnaspi32.so" 2>&1 |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$found" ] && [ "$(field Depends)" = "$found" ] ||
  problem "Depends: \"$(field Depends)\", dpkg-shlibdeps finds \"$found\""
timed "contents and control"

# lintian: no error; warnings only those allowed above.
lint=$(lintian --no-cfg "$deb" 2>&1 | grep -v '^running with root privileges')
[ -n "$lint" ] && sed 's/^/  lintian: /' <<<"$lint"
grep -q '^E: ' <<<"$lint" && problem "lintian reports errors"
while read -r tag; do
  [[ " $allowed_warnings " == *" $tag "* ]] || problem "lintian warning not allowed: $tag"
done < <(sed -n 's/^W: [^ ]*: \([^ ]*\).*/\1/p' <<<"$lint")
timed "lintian"

# What "apt install ./FILE.deb" would do on this system: install it alone.
inst=$(apt-get install -s "$deb" 2>&1 | sed -n 's/^Inst \([^ ]*\) .*/\1/p' | xargs)
[ "$inst" = orvex-cli ] || problem "apt-get install -s $deb would install: \"$inst\""
timed "apt-get install -s"

# Installed into an empty root, with this system's versions of what it
# depends on in that root's database, so that dpkg checks them.
r=$work/root
mkdir -p "$r/var/lib/dpkg/info" "$r/var/lib/dpkg/updates" "$r/var/lib/dpkg/triggers"
: >"$r/var/lib/dpkg/available"
for n in $(field Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/:.*//'); do
  dpkg-query -s "$n:$arch" 2>/dev/null || dpkg-query -s "$n" 2>/dev/null
  echo
done >"$r/var/lib/dpkg/status"
as_root=()
[ "$(id -u)" = 0 ] || as_root=(fakeroot)
dpkg_r() { "${as_root[@]}" dpkg --root="$r" --log=/dev/null --force-not-root "$@"; }
dpkg_r -i "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log"; problem "dpkg --root -i failed"; }
dpkg-query --root="$r" -W -f '${Status}' orvex-cli 2>/dev/null | grep -q 'install ok installed' ||
  problem "not installed and configured in $r"

got=$("$r/usr/bin/orvex-cli" --version 2>&1)
[ "$got" = "orvex-cli $version" ] || problem "installed orvex-cli --version: \"$got\""

page=$r/usr/share/man/man1/orvex-cli.1.gz
text=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>"$work/man.err")
[ -s "$work/man.err" ] && problem "man -l $page warns:" "$(cat "$work/man.err")"
for s in NAME SYNOPSIS DESCRIPTION OPTIONS COMMANDS "EXIT STATUS" PERMISSIONS ENVIRONMENT FILES EXAMPLES; do
  grep -q "^$s\$" <<<"$text" || problem "manual page: no section $s"
done
for c in "" check update; do
  # shellcheck disable=SC2086
  for o in $("$r/usr/bin/orvex-cli" $c --help | grep -oE '(^| |,)--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
    grep -qF -e "$o" <<<"$text" || problem "manual page: no $o (orvex-cli $c --help has it)"
  done
done
grep -q "$libdir/libwnaspi32.so" <<<"$text" || problem "manual page: does not name $libdir/libwnaspi32.so"
# The package ships no simulated drive: nothing offers one, and asking for
# it is a usage error that says so, never a path the package lacks.
grep -q "sim:" <<<"$text$("$r/usr/bin/orvex-cli" --help-all)" && problem "the installed orvex-cli or its page offers sim:"
"$r/usr/bin/orvex-cli" --transport sim:demo scan >/dev/null 2>"$work/sim.err"
[ $? = 64 ] && grep -q "not part of this installation" "$work/sim.err" ||
  problem "orvex-cli --transport sim:demo scan, installed:" "$(cat "$work/sim.err")"
timed "install, --version, man"

# The installed program, run in that root, takes its library from the
# private folder, not from beside itself. It needs /proc there to know
# where it runs from: a mount namespace of its own.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  for f in "$r/usr/bin/orvex-cli" "$r$libdir/libwnaspi32.so"; do ldd "$f"; done |
    grep -oE '/[^ ]+' | sort -u | while read -r l; do
      mkdir -p "$r$(dirname "$l")" && cp -L "$l" "$r$l"
    done
  mkdir -p "$r/proc" "$r/usr/spti"
  echo "not a library" >"$r/usr/bin/libwnaspi32.so"
  cp "$r/usr/bin/libwnaspi32.so" "$r/usr/spti/libwnaspi32.so"
  ran=$(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin unshare -m sh -c 'mount --bind /proc "$1/proc" && exec chroot "$1" /usr/bin/orvex-cli -vvv scan' \
    sh "$r" 2>&1)
  grep -qx "orvex-cli: loaded $libdir/libwnaspi32.so" <<<"$ran" ||
    problem "the installed orvex-cli did not load $libdir/libwnaspi32.so:" $'\n'"$ran"
  # A privileged run (a copy with a file capability, run by nobody) takes
  # the installed library, owned by root, and no variable's.
  if command -v setcap >/dev/null && cp -p "$r/usr/bin/orvex-cli" "$r/usr/bin/orvex-cli-cap" &&
    setcap cap_sys_rawio+ep "$r/usr/bin/orvex-cli-cap"; then
    ran=$(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin ORVEX_SGIO_LIBRARY=/usr/bin/libwnaspi32.so unshare -m sh -c \
      'mount --bind /proc "$1/proc" && exec chroot --userspec=65534:65534 "$1" /usr/bin/orvex-cli-cap -vvv scan' \
      sh "$r" 2>&1)
    grep -qx "orvex-cli: loaded $libdir/libwnaspi32.so" <<<"$ran" ||
      problem "a privileged run of the installed orvex-cli did not load $libdir/libwnaspi32.so:" $'\n'"$ran"
    rm -f "$r/usr/bin/orvex-cli-cap"
  else
    echo "  (no setcap: the privileged run was not tried)"
  fi
  rm -f "$r/usr/bin/libwnaspi32.so" "$r/usr/spti/libwnaspi32.so"
else
  echo "  (the run in the installed root needs root and a mount namespace: not run)"
fi

files=$(dpkg-query --root="$r" -L orvex-cli)
dpkg_r -P orvex-cli >>"$work/install.log" 2>&1 || problem "dpkg --root -P failed"
while read -r f; do
  [ -f "$r$f" ] && problem "left after removal: $f"
done <<<"$files"
timed "run in the installed root, removal"

echo "deb: $deb"
if [ "$bad" = 0 ]; then echo "package deb: ok ($(basename "$deb"))"; else echo "package deb: FAILED"; fi
exit "$bad"
