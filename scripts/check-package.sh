#!/usr/bin/env bash
# Builds the release zip of each Windows preset and checks what it holds:
#
#   scripts/check-package.sh [--no-build] [PRESET...]     (default: win32 win64)
#
# - exactly Orvex.exe, orvex-cli.exe, wnaspi32.dll (the pass-through one),
#   all of the preset's architecture, README.txt and Orvex.INI.example;
# - README.txt and the INI example with CRLF line ends; README.txt quotes
#   every text the program can show (string table and message boxes of the
#   sources); the INI example sets every key the program reads, and no other;
# - Orvex.exe's manifest (administrator, Vista to 10/11, no common controls 6,
#   no DPI awareness) and the version resources of Orvex.exe and both
#   libraries, read back from the built files, carry res/Version.h's version;
# - README.txt has the command line's section, and orvex-cli.exe runs under
#   Wine from the unpacked zip (where Wine runs the preset's architecture):
#   its version, and a scan that finds the simulated drive's drive.
# Prints one line per check that fails and "package PRESET: ok" or "FAILED";
# exits nonzero when one failed. A preset whose compiler is missing is
# skipped with a word.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

build=1
presets=()
for a in "$@"; do
  case $a in
    --no-build) build=0 ;;
    -h | --help) sed -n '2,20p' "$0"; exit 0 ;;
    *) presets+=("$a") ;;
  esac
done
[ ${#presets[@]} -eq 0 ] && presets=(win32 win64)

version=$(sed -n 's/^#define ORVEX_VERSION "\(.*\)"$/\1/p' res/Version.h)
IFS=. read -r vmaj vmin vpat <<<"${version//[!0-9.]/}"
numbers="$((10#$vmaj)), $((10#$vmin)), $((10#$vpat)), 0"

bad=0
problem() { echo "  $*"; bad=1; }

# The sources' texts: the string table (split at its \r\n) and the literal
# message boxes; a printf-style code stands as <code> in the README.
shown_texts() {
  grep -v '^ORVEX_STRING(IDS_ABOUTBOX,' res/Strings.def |  # a menu item, not a message
    sed -n 's/^ORVEX_STRING([A-Z_0-9]*, "\(.*\)")$/\1/p' | sed 's/\\r\\n/\n/g'
  grep -rohE '(MessageBox|StopUpdate|refuse)\("[^"]*"' app update | sed 's/^[A-Za-z]*("//; s/"$//'
  grep -rohE 'snprintf\(msg, sizeof msg, "[^"]*"' app | sed 's/.*"\(.*\)"$/\1/; s/%X/<code>/'
  grep -rohE 'SysWriteStdout\("[^"]*"' update | sed 's/.*("\\n//; s/"$//'
}

# Section/key pairs the program reads from its INI file.
read_keys() {
  grep -rohE 'ReadProfile(Int|String)\("[^"]*", "[^"]*"' app update |
    sed 's/.*("\([^"]*\)", "\([^"]*\)"/\1\/\2/' | sort -u
}

# Section/key pairs the example sets (uncommented lines).
example_keys() {
  tr -d '\r' <"$1" | awk '/^\[/ {gsub(/[][]/, ""); s = $0; next}
    /^[^;].*=/ {k = $0; sub(/=.*/, "", k); print s "/" k}' | sort -u
}

crlf_only() {  # every line ends in CRLF, the last one too
  local lf crlf
  lf=$(tr -cd '\n' <"$1" | wc -c)
  crlf=$(grep -c $'\r$' "$1")
  [ "$lf" -gt 0 ] && [ "$lf" -eq "$crlf" ] && [ "$(tail -c 1 "$1" | od -An -c | tr -d ' ')" = '\n' ]
}

resources() {  # resources of a PE file as a resource script
  "$windres" -i "$1" -O rc 2>&1
}

check_version() {  # FILE DESCRIPTION-PART
  local rc
  rc=$(resources "$1")
  grep -q "FILEVERSION $numbers\$" <<<"$rc" || problem "$2: FILEVERSION is not $numbers"
  grep -q "PRODUCTVERSION $numbers\$" <<<"$rc" || problem "$2: PRODUCTVERSION is not $numbers"
  grep -qF "VALUE \"FileVersion\", \"$version\"" <<<"$rc" || problem "$2: FileVersion is not $version"
  grep -qF "VALUE \"ProductVersion\", \"$version\"" <<<"$rc" || problem "$2: ProductVersion is not $version"
  grep -qF 'VALUE "ProductName", "Orvex"' <<<"$rc" || problem "$2: no ProductName"
  grep -qF "VALUE \"FileDescription\", \"$3" <<<"$rc" || problem "$2: FileDescription is not \"$3...\""
}

# check_cli_under_wine PRESET UNPACKED BUILD: orvex-cli.exe from the
# unpacked zip, in a Wine prefix of its own, without a display.
check_cli_under_wine() {
  # shellcheck source=scripts/wine-arch.sh
  (
    source "$root/scripts/wine-arch.sh"
    orvex_wine_decide >/dev/null 2>&1 || { echo "  (orvex-cli.exe not run: no Wine)"; exit 0; }
    if [ "win$ORVEX_WINE_ARCH_ANSWER" != "$1" ]; then
      echo "  (orvex-cli.exe not run: Wine runs win$ORVEX_WINE_ARCH_ANSWER programs here)"
      exit 0
    fi
    orvex_wine_use "$ORVEX_WINE_ARCH_ANSWER"
    local work=$3/package-cli bad=0
    rm -rf "$work" && mkdir -p "$work/prefix"
    printf 'adapters 1\ndevice 0 1 0\nvendor "KORVELIN"\nproduct "DVDRRW MQT-R41A "\n' >"$work/sim.cfg"
    export WINEPREFIX=$work/prefix WINEARCH=$ORVEX_WINEARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=n"
    timeout 180 wineboot -i >"$work/prefix.log" 2>&1 || echo "  wineboot failed: $(tail -n 3 "$work/prefix.log")"
    local got
    got=$(cd "$work" && timeout 60 env -u DISPLAY wine "$2/orvex-cli.exe" --version </dev/null 2>&1 | tr -d '\r')
    [ "$got" = "orvex-cli $version" ] || { echo "  orvex-cli.exe --version under Wine: \"$got\""; bad=1; }
    if [ -f "$3/sim/wnaspi32.dll" ]; then
      got=$(cd "$work" && timeout 60 env -u DISPLAY ORVEX_SIM_CONFIG=sim.cfg wine "$2/orvex-cli.exe" --json \
        --transport "aspi:$3/sim/wnaspi32.dll" scan </dev/null 2>&1 | tr -d '\r')
      grep -q '"event":"device","address":"0:1:0".*"admitted":true' <<<"$got" ||
        { echo "  orvex-cli.exe scan under Wine found no drive:"; echo "$got" | tail -n 5; bad=1; }
    fi
    timeout 10 wineserver -k >/dev/null 2>&1
    timeout 10 wineserver -w >/dev/null 2>&1
    rm -rf "$work"
    exit "$bad"
  ) || problem "orvex-cli.exe did not run under Wine from the unpacked zip"
}

check_preset() {
  local preset=$1 dir=$root/build/$1 arch format
  case $preset in
    win32) arch=x86; format=pei-i386; windres=i686-w64-mingw32-windres ;;
    win64) arch=x64; format=pei-x86-64; windres=x86_64-w64-mingw32-windres ;;
    *) echo "package $preset: not a Windows preset"; return 1 ;;
  esac
  if ! command -v "${windres%windres}g++" >/dev/null; then
    echo "package $preset: skipped (no ${windres%windres}g++)"
    return 0
  fi
  if [ "$build" = 1 ]; then
    { cmake --preset "$preset" && cmake --build --preset "$preset" -j2 --target package; } \
      >"$dir.package.log" 2>&1 || { tail -n 20 "$dir.package.log"; echo "package $preset: FAILED (build)"; return 1; }
  fi
  local zip=$dir/Orvex-$version-$arch.zip
  [ -f "$zip" ] || { echo "package $preset: FAILED (no $zip)"; return 1; }
  bad=0
  local un=$dir/package-check
  rm -rf "$un" && mkdir -p "$un"
  (cd "$un" && cmake -E tar xf "$zip") || problem "cannot unpack $zip"

  local listed
  listed=$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
  [ "$listed" = "Orvex.INI.example Orvex.exe README.txt orvex-cli.exe wnaspi32.dll " ] ||
    problem "the zip holds: $listed"

  local f
  for f in Orvex.exe orvex-cli.exe wnaspi32.dll; do
    x86_64-w64-mingw32-objdump -f "$un/$f" 2>/dev/null | grep -q "file format $format" ||
      problem "$f is not $format"
  done
  check_version "$un/Orvex.exe" "Orvex.exe" "Firmware updater"
  check_version "$un/wnaspi32.dll" "packaged wnaspi32.dll" "ASPI for Win32 over the NT SCSI pass-through"
  [ -f "$dir/sim/wnaspi32.dll" ] &&
    check_version "$dir/sim/wnaspi32.dll" "simulated wnaspi32.dll" "ASPI for Win32 with simulated"

  local rc
  rc=$(resources "$un/Orvex.exe" | sed -n '/RT_MANIFEST/,/^END/p')
  grep -q 'requestedExecutionLevel level=""requireAdministrator""' <<<"$rc" ||
    problem "manifest: no requireAdministrator"
  local guid
  for guid in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    grep -qi "supportedOS Id=\"\"{$guid}\"\"" <<<"$rc" || problem "manifest: no supportedOS $guid"
  done
  grep -qi 'Common-Controls' <<<"$rc" && problem "manifest: depends on the common controls"
  grep -qiE '<dpiAware|<dpiAwareness' <<<"$rc" && problem "manifest: declares DPI awareness"

  local readme=$un/README.txt ini=$un/Orvex.INI.example t
  crlf_only "$readme" || problem "README.txt: not CRLF throughout"
  crlf_only "$ini" || problem "Orvex.INI.example: not CRLF throughout"
  grep -qF "Tarnquil $version" "$readme" || problem "README.txt: no caption with $version"
  while IFS= read -r t; do
    [ -n "$t" ] || continue
    grep -qF -- "\"$t\"" "$readme" || problem "README.txt does not quote: \"$t\""
  done < <(shown_texts)
  local want got
  want=$(read_keys | tr '\n' ' ')
  got=$(example_keys "$ini" | tr '\n' ' ')
  [ -n "$want" ] && [ "$want" = "$got" ] || problem "Orvex.INI.example sets \"$got\", the program reads \"$want\""
  grep -qi 'Orvex\.INI\.example' "$readme" || problem "README.txt does not name Orvex.INI.example"
  grep -q '^THE COMMAND LINE: orvex-cli.exe' "$readme" || problem "README.txt has no section on orvex-cli.exe"
  check_cli_under_wine "$preset" "$un" "$dir"

  if [ "$bad" = 0 ]; then echo "package $preset: ok ($(basename "$zip"))"; else echo "package $preset: FAILED"; fi
  return "$bad"
}

status=0
for p in "${presets[@]}"; do check_preset "$p" || status=1; done
exit "$status"
