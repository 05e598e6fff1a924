# Helpers for the end-to-end cases of the release zip and of an installed
# ASPI layer, sourced by a case file (see README.md for the case format).
# Everything is found from the runner's ORVEX_EXE (its build folder) so the
# cases follow whichever build the runner picked.

# The build folder of the program under test (build/win32, build/win64).
PACKAGE_BUILD=${ORVEX_BUILD_DIR:-$(dirname "$ORVEX_EXE")}

# pe_arch FILE: x86 or x64, from the PE header's machine field.
pe_arch() {
  local pe machine
  pe=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case $machine in
    014c) echo x86 ;;
    8664) echo x64 ;;
    *) fail "$1: unknown machine $machine" ;;
  esac
}

# package_unpack: unpacks the release zip of that build into the case
# directory, over the Orvex.exe the runner put there; builds the zip first
# when it is missing or older than the program or the library. Sets
# PACKAGE_ZIP.
package_unpack() {
  local arch version
  arch=$(pe_arch "$ORVEX_EXE")
  version=$(sed -n 's/^#define ORVEX_VERSION "\(.*\)"$/\1/p' "$ROOT/res/Version.h")
  PACKAGE_ZIP=${ORVEX_PACKAGE:-$PACKAGE_BUILD/Orvex-$version-$arch.zip}
  if [ -z "${ORVEX_PACKAGE:-}" ] && { [ ! -f "$PACKAGE_ZIP" ] || [ "$ORVEX_EXE" -nt "$PACKAGE_ZIP" ] ||
    [ "$PACKAGE_BUILD/spti/wnaspi32.dll" -nt "$PACKAGE_ZIP" ]; }; then
    log "building $PACKAGE_ZIP"
    timeout 300 cmake --build "$PACKAGE_BUILD" --target package >package-build.log 2>&1 ||
      fail "cannot build the package: $(tail -n 5 package-build.log)"
  fi
  [ -f "$PACKAGE_ZIP" ] || fail "no package $PACKAGE_ZIP"
  rm -f Orvex.exe wnaspi32.dll
  cmake -E tar xf "$PACKAGE_ZIP" || fail "cannot unpack $PACKAGE_ZIP"
  log "unpacked $(basename "$PACKAGE_ZIP"): $(ls | tr '\n' ' ')"
}

# system_dir: the prefix's folder that GetSystemDirectory names for this
# program: system32, or syswow64 for a 32-bit program in a 64-bit prefix.
system_dir() {
  local win=$CASE_PREFIX/drive_c/windows
  if [ -d "$win/syswow64" ] && [ "$(pe_arch "$ORVEX_EXE")" = x86 ]; then
    echo "$win/syswow64"
  else
    echo "$win/system32"
  fi
}

# install_layer FILE: FILE becomes the system folder's wnaspi32.dll, the
# installed ASPI layer (the case must set CASE_PRISTINE=1).
install_layer() {
  [ "${CASE_PRISTINE:-0}" = 1 ] || fail "installing an ASPI layer changes the prefix: set CASE_PRISTINE=1"
  [ -f "$1" ] || fail "no library $1"
  cp "$1" "$(system_dir)/wnaspi32.dll" || fail "cannot install $1"
  log "installed $1 as $(system_dir)/wnaspi32.dll"
}

# The library's road as it told it on standard error.
expect_road() {
  grep -F "wnaspi32 (SPTI): $1" orvex.out >/dev/null ||
    fail "the library did not say \"$1\": $(grep -F 'wnaspi32 (SPTI)' orvex.out)"
  log "the library said: $(grep -F "wnaspi32 (SPTI): $1" orvex.out | head -n 1)"
}
