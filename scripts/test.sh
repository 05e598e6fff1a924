#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (plain, with
# AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded tests with
# ThreadSanitizer), the Windows build, the end-to-end tests under Wine and
# Xvfb, the INI differential test and short fuzzing runs.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh || exit 1

failed=0
passed=0
step() {
  local name=$1; shift
  echo "=== $name"
  if "$@"; then passed=$((passed + 1)); echo "=== $name: ok"
  else failed=$((failed + 1)); echo "=== $name: FAILED"; fi
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j2 2>&1 | grep -E "error|warning: unused|FAILED" ; return "${PIPESTATUS[0]}"
}

unit() {
  local preset=$1; shift
  build "$preset" || return 1
  (cd "build/$preset" && ctest --output-on-failure -j2 --timeout 300 "$@")
}

step "native unit tests" unit native -E unit_faults_threads
step "native unit tests (ASan+UBSan)" unit native-asan -E unit_faults_threads
step "threaded tests (TSan)" unit native-tsan -R "unit_dialog|unit_faults_threads"
step "artwork matches its script" python3 res/art/make_art.py --check
step "win32 build" build win32
if [ -x tests/e2e/run.sh ]; then step "end-to-end under Wine" tests/e2e/run.sh tests/e2e/cases/*.case tests/e2e/demo/*.case; fi
if [ -x tests/e2e/profile-diff.sh ]; then step "INI reader against Wine" tests/e2e/profile-diff.sh; fi
if [ -x tests/fuzz/run.sh ]; then step "fuzzing (short)" tests/fuzz/run.sh "${ORVEX_FUZZ_SECONDS:-15}"; fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
