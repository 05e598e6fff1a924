#!/usr/bin/env bash
# Builds every libFuzzer target (tests/fuzz/*_fuzz.cpp) with clang in
# build/fuzz and runs each for SECONDS, starting from its seeds in
# tests/fuzz/corpus/NAME/. New inputs go to build/fuzz/corpus/, crashes to
# build/fuzz/artifacts/. Exits nonzero when a target fails.
#   tests/fuzz/run.sh SECONDS
set -euo pipefail

if [ $# -ne 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS" >&2
  exit 2
fi
PER_TARGET=$1
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD="$ROOT/build/fuzz"

bash "$ROOT/scripts/install-deps.sh"

targets=()
for src in "$ROOT"/tests/fuzz/*_fuzz.cpp; do
  [ -e "$src" ] || continue
  targets+=("$(basename "$src" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in tests/fuzz"
  exit 0
fi

cmake -S "$ROOT" -B "$BUILD" -DORVEX_TARGET=native -DORVEX_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$BUILD" -j2 --target "${targets[@]}"

status=0
mkdir -p "$BUILD/artifacts"
# Targets that need files make them under TMPDIR; keep those in the build tree.
rm -rf "$BUILD/tmp"
mkdir -p "$BUILD/tmp"
export TMPDIR="$BUILD/tmp"
for t in "${targets[@]}"; do
  seeds="$ROOT/tests/fuzz/corpus/${t%_fuzz}"
  work="$BUILD/corpus/$t"
  mkdir -p "$work"
  log="$BUILD/$t.log"
  args=(-max_total_time="$PER_TARGET" -timeout=10 -print_final_stats=1
        -artifact_prefix="$BUILD/artifacts/$t-" "$work")
  [ -d "$seeds" ] && args+=("$seeds")
  if "$BUILD/tests/fuzz/$t" "${args[@]}" >"$log" 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "$t: ${runs:-?} executions in ${PER_TARGET} s, $result"
  if [ "$result" = FAILED ]; then
    tail -40 "$log"
  fi
done
exit $status
