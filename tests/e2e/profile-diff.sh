#!/usr/bin/env bash
# Differential check of private-profile (INI) reading: the same queries go
# to GetPrivateProfileIntA/GetPrivateProfileStringA under Wine and to the
# headless platform's native reader, and every answer must be identical.
#
#   tests/e2e/profile-diff.sh            compare; prints "N passed, M failed"
#   tests/e2e/profile-diff.sh --record   also rewrite tests/data/ini/wine-answers.txt,
#                                        the Wine answers the unit tests expect
#
# Three sets: the corpus in tests/data/ini against Wine, the same Wine answers
# against the recorded ones (so the unit tests keep telling the truth), and
# PROFILE_DIFF_RANDOM (default 200) seeded random INI files (seed
# PROFILE_DIFF_SEED, default 1). Wine runs in $WINEPREFIX when it is set,
# otherwise in a fresh prefix that is removed afterwards; its architecture,
# and the dump program's, come from scripts/wine-arch.sh. Wine console
# programs need no display, so DISPLAY is unset for them.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
DATA="$ROOT/tests/data/ini"
SRC="$ROOT/tests/e2e/profile"
OUT="${PROFILE_DIFF_OUT:-$ROOT/build/profile-diff}"
RANDOM_COUNT="${PROFILE_DIFF_RANDOM:-200}"
SEED="${PROFILE_DIFF_SEED:-1}"
RECORD=0
for arg in "$@"; do
  case "$arg" in
    --record) RECORD=1 ;;
    *) echo "usage: $0 [--record]" >&2; exit 2 ;;
  esac
done

bash "$ROOT/scripts/install-deps.sh"
# shellcheck source=../../scripts/wine-arch.sh
. "$ROOT/scripts/wine-arch.sh"
orvex_wine_decide
orvex_wine_use "$ORVEX_WINE_ARCH_ANSWER"
echo "== Wine $ORVEX_WINE_ARCH_ANSWER-bit: $ORVEX_WINE_WHY"

rm -rf "$OUT"
mkdir -p "$OUT"

echo "== building the dump program for Windows and for the host"
"$ORVEX_MINGW-g++" -std=c++17 -O1 -Wall -Wextra -static -static-libgcc -static-libstdc++ \
  -I"$ROOT" "$SRC/ProfileDump.cpp" "$ROOT/platform/win32/Profile.cpp" -o "$OUT/ProfileDump.exe"
g++ -std=c++17 -O1 -g -Wall -Wextra -fsanitize=address,undefined -fno-sanitize-recover=all \
  -I"$ROOT" "$SRC/ProfileDump.cpp" "$ROOT/platform/headless/Profile.cpp" -o "$OUT/ProfileDumpNative"

# Wine's code page for ANSI files and for the ...A functions follows the host
# locale; the native reader is code page 1252, which Wine picks for C.
export LC_ALL=C WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
OWN_PREFIX=""
cleanup() {
  if [ -n "$OWN_PREFIX" ]; then
    WINEPREFIX="$OWN_PREFIX" wineserver -k 2>/dev/null || true
    WINEPREFIX="$OWN_PREFIX" wineserver -w 2>/dev/null || true
    rm -rf "$OWN_PREFIX"
  fi
}
trap cleanup EXIT
if [ -z "${WINEPREFIX:-}" ]; then
  OWN_PREFIX=$(mktemp -d /tmp/orvex-profile-prefix.XXXXXX)
  export WINEPREFIX="$OWN_PREFIX"
  echo "== creating a $ORVEX_WINEARCH Wine prefix in $WINEPREFIX"
  WINEARCH=$ORVEX_WINEARCH timeout 300 env -u DISPLAY wineboot -i >/dev/null 2>&1
  timeout 120 wineserver -w
fi

# run_wine DIR QUERIES OUTFILE / run_native DIR QUERIES OUTFILE: answers, one line each.
run_wine() {
  (cd "$1" && timeout 300 env -u DISPLAY wine "$OUT/ProfileDump.exe" "$2") | tr -d '\r' > "$3"
}
run_native() {
  (cd "$1" && timeout 300 "$OUT/ProfileDumpNative" "$2") > "$3"
}

PASSED=0
FAILED=0
# compare NAME EXPECTED ACTUAL: line by line; the lines echo their query.
compare() {
  local name=$1 expected=$2 actual=$3 stats
  stats=$(awk -v name="$name" '
    FNR == NR { want[FNR] = $0; n = FNR; next }
    { got[FNR] = $0; if (FNR > m) m = FNR }
    END {
      if (m > n) n = m
      for (i = 1; i <= n; i++) {
        if (want[i] == got[i]) { pass++; continue }
        fail++
        if (fail <= 20) printf "FAIL %s line %d\n  want: %s\n  got:  %s\n", name, i, want[i], got[i] > "/dev/stderr"
      }
      printf "%d %d\n", pass, fail
    }' "$expected" "$actual")
  echo "$name: ${stats% *} passed, ${stats#* } failed"
  PASSED=$((PASSED + ${stats% *}))
  FAILED=$((FAILED + ${stats#* }))
}

echo "== corpus ($DATA)"
run_wine "$DATA" queries.q "$OUT/corpus-wine.txt"
run_native "$DATA" queries.q "$OUT/corpus-native.txt"
if [ ! -s "$OUT/corpus-wine.txt" ]; then
  echo "Wine produced no answers" >&2
  exit 1
fi
compare "corpus: native vs Wine" "$OUT/corpus-wine.txt" "$OUT/corpus-native.txt"
if [ "$RECORD" = 1 ]; then
  cp "$OUT/corpus-wine.txt" "$DATA/wine-answers.txt"
  echo "recorded $DATA/wine-answers.txt"
fi
compare "corpus: Wine vs recorded" "$DATA/wine-answers.txt" "$OUT/corpus-wine.txt"

if [ "$RANDOM_COUNT" -gt 0 ]; then
  echo "== $RANDOM_COUNT random INI files, seed $SEED"
  python3 "$SRC/random_ini.py" "$OUT/random" "$RANDOM_COUNT" "$SEED"
  run_wine "$OUT/random" random.q "$OUT/random-wine.txt"
  run_native "$OUT/random" random.q "$OUT/random-native.txt"
  compare "random: native vs Wine" "$OUT/random-wine.txt" "$OUT/random-native.txt"
fi

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
