#!/usr/bin/env bash
# Shows that the native suite catches the loss of each safety guard: every
# guard sits between `#ifndef ORVEX_GUARD_OFF_<NAME>` and its `#endif` in the
# product sources. For each NAME in turn this script defines that switch at
# the top of the files that use it, in a copy of the sources
# (build/guards/src), rebuilds there (build/guards/build, incrementally) and
# runs the native suite, which must then fail. It first runs the suite with
# every guard in place, which must pass. A guard in sources only the Windows
# builds compile (platform/win32, *Win32.cpp) is caught under Wine instead:
# the end-to-end cases that name it in CASE_GUARDS run from the copy (its own
# Windows build and prefix), first with every guard in place, which must
# pass, then without it, which must fail. Prints a table: guard, caught.
# Run before a release, not in CI; it takes a suite run per guard.
#   tests/guards/run.sh [NAME...]      (default: every guard in the sources)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD="$ROOT/build/guards"
SRC="$BUILD/src"
OUT="$BUILD/build"
LOGS="$BUILD/logs"
DIRS=(app update drive controls platform cli spti)
# A suite that hangs without a guard has not passed either.
SUITE_LIMIT=${ORVEX_GUARD_SUITE_LIMIT:-1800}

bash "$ROOT/scripts/install-deps.sh"

cd "$ROOT"
if [ $# -gt 0 ]; then
  names=("$@")
else
  mapfile -t names < <(grep -rhoE 'ORVEX_GUARD_OFF_[A-Z0-9_]+' "${DIRS[@]}" | sed 's/^ORVEX_GUARD_OFF_//' | sort -u)
fi
if [ ${#names[@]} -eq 0 ]; then
  echo "no guards found" >&2
  exit 2
fi

# The copy: tracked and new files as they are in the working tree, with
# their times, so that a later run rebuilds only what changed.
mkdir -p "$SRC" "$LOGS"
git ls-files -z --cached --others --exclude-standard |
  tar -c --null -T - --ignore-failed-read -f - 2>/dev/null | tar -x -f - -C "$SRC"

cmake -S "$SRC" -B "$OUT" -DORVEX_TARGET=native -DCMAKE_BUILD_TYPE=Debug >/dev/null

# Builds the suite and runs it; prints the first failing test, empty when
# everything passed. Returns nonzero when the build fails.
run_suite() {
  local log=$1
  if ! cmake --build "$OUT" -j2 --target orvex_tests >"$log.build" 2>&1; then
    return 1
  fi
  if timeout "$SUITE_LIMIT" "$OUT/tests/orvex_tests" --gtest_fail_fast --gtest_brief=1 >"$log" 2>&1; then
    echo ""
  else
    local rc=$?
    local first
    first=$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$log" | head -1)
    if [ "$rc" -eq 124 ]; then
      echo "timed out after ${SUITE_LIMIT} s"
    elif [ -n "$first" ]; then
      echo "$first"
    else
      echo "ended with status $rc"
    fi
  fi
}

echo "baseline: every guard in place"
if ! base=$(run_suite "$LOGS/baseline.log"); then
  echo "the sources do not build: $LOGS/baseline.log.build" >&2
  exit 1
fi
if [ -n "$base" ]; then
  echo "the suite fails with every guard in place ($base): $LOGS/baseline.log" >&2
  exit 1
fi

# Only a Windows build compiles these files.
windows_only() {
  local f
  for f in "$@"; do
    case $f in
      platform/win32/* | *Win32.cpp) ;;
      *) return 1 ;;
    esac
  done
}

# The end-to-end cases of the copy that name guard $1; runs them from the
# copy (which builds its Windows preset) and prints "" when they all
# passed, the first failure otherwise. Returns nonzero when nothing ran.
E2E_BASELINE=""
run_cases() {
  local name=$1 log=$2 cases
  mapfile -t cases < <(grep -lE "^CASE_GUARDS=.*\b${name}\b" "$SRC"/tests/e2e/cases/*.case)
  [ ${#cases[@]} -gt 0 ] || return 1
  if [ -z "$E2E_BASELINE" ]; then
    # The cases' images come from the copy's own image generator.
    (cd "$SRC" && cmake --preset native >/dev/null && cmake --build --preset native -j2 --target orvex-imagegen) \
      >"$LOGS/e2e-tools.log" 2>&1 || return 1
    E2E_BASELINE=done
  fi
  timeout "$SUITE_LIMIT" bash "$SRC/tests/e2e/run.sh" "${cases[@]}" >"$log" 2>&1
  grep -qE '^[0-9]+ passed, [0-9]+ failed$' "$log" || return 1
  grep -m1 '^FAIL ' "$log" | cut -c1-100 || true
}

declare -A caught
status=0
for name in "${names[@]}"; do
  mapfile -t files < <(grep -rlE "ORVEX_GUARD_OFF_${name}\b" "${DIRS[@]}")
  if [ ${#files[@]} -eq 0 ]; then
    caught[$name]="no such guard"
    status=1
    continue
  fi
  if windows_only "${files[@]}"; then
    echo "under Wine, with every guard in place: the cases that name $name"
    if ! base=$(run_cases "$name" "$LOGS/$name.baseline.log"); then
      caught[$name]="no e2e case names it, or it did not run: $LOGS/$name.baseline.log"
      status=1
      continue
    fi
    if [ -n "$base" ]; then
      caught[$name]="its cases fail with every guard in place ($base)"
      status=1
      continue
    fi
  fi
  echo "without $name (${files[*]})"
  for f in "${files[@]}"; do
    { echo "#define ORVEX_GUARD_OFF_${name}"; cat "$ROOT/$f"; } >"$SRC/$f"
  done
  if windows_only "${files[@]}"; then
    if ! first=$(run_cases "$name" "$LOGS/$name.log"); then
      caught[$name]="the cases did not run: $LOGS/$name.log"
      status=1
    elif [ -n "$first" ]; then
      caught[$name]="yes: $first"
    else
      caught[$name]="NO"
      status=1
    fi
  elif first=$(run_suite "$LOGS/$name.log"); then
    if [ -n "$first" ]; then
      caught[$name]="yes: $first"
    else
      caught[$name]="NO"
      status=1
    fi
  else
    caught[$name]="build failed: $LOGS/$name.log.build"
    status=1
  fi
  # Back to the guarded source, with a new time so that it is rebuilt.
  for f in "${files[@]}"; do
    cp "$ROOT/$f" "$SRC/$f"
    touch "$SRC/$f"
  done
done

printf '\n%-20s %s\n' "guard" "caught"
for name in "${names[@]}"; do
  printf '%-20s %s\n' "$name" "${caught[$name]}"
done
exit $status
