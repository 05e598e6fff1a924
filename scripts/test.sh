#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (plain, with
# AddressSanitizer + UndefinedBehaviorSanitizer, and the threaded tests with
# ThreadSanitizer), the Windows build, the end-to-end tests under Wine and
# Xvfb, the INI differential test and short fuzzing runs.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh test || exit 1
export ORVEX_DEPS_CHECKED=test
# The Windows builds the end-to-end suite runs on: both where Wine's 32-bit
# loader starts, else win64 alone. ORVEX_WINE_ARCH=32|64 runs one.
. scripts/wine-arch.sh
orvex_wine_decide || exit 2
if [ -n "${ORVEX_WINE_ARCH:-}" ]; then
  archs=("$ORVEX_WINE_ARCH")
  echo "=== end-to-end: the win$ORVEX_WINE_ARCH build only ($ORVEX_WINE_WHY)"
elif [ "$ORVEX_WINE_ARCH_ANSWER" = 32 ]; then
  archs=(32 64)
  echo "=== end-to-end: the win32 and win64 builds ($ORVEX_WINE_WHY)"
else
  archs=(64)
  echo "=== end-to-end: the win64 build only, the win32 build cannot run here: $ORVEX_WINE_WHY"
fi

failed=0
passed=0
step() {
  local name=$1 t0=$SECONDS; shift
  echo "=== $name"
  if "$@"; then passed=$((passed + 1)); echo "=== $name: ok ($((SECONDS - t0)) s)"
  else failed=$((failed + 1)); echo "=== $name: FAILED ($((SECONDS - t0)) s)"; fi
}

# build PRESET [TARGET...]: everything of the preset, or only the targets.
build() {
  local preset=$1; shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j2 "${targets[@]}" 2>&1 | grep -E "error|warning: unused|FAILED"
  return "${PIPESTATUS[0]}"
}

# unit PRESET "TARGET..." CTEST-ARGS...: builds the targets (all when empty)
# and runs the tests the arguments pick.
unit() {
  local preset=$1 targets=$2; shift 2
  # shellcheck disable=SC2086
  build "$preset" $targets || return 1
  (cd "build/$preset" && ctest --output-on-failure --no-tests=error -j2 --timeout 300 "$@")
}

step "the package installer's decisions" tests/scripts/install-deps-test.sh
step "native unit tests" unit native "" -E unit_faults_threads
step "fleet example (Ansible, four local hosts)" tests/scripts/ansible-rollout-test.sh build/native
# The sanitizer builds take only what their tests run.
step "native unit tests (ASan+UBSan)" unit native-asan \
  "orvex_tests sgio_stack_check spti_libwnaspi32 sgio_shim sgio_drive orvex-imagegen" -E unit_faults_threads
step "threaded tests (TSan)" unit native-tsan orvex_tests -R "unit_dialog|unit_faults_threads"
step "Debian package" scripts/check-deb.sh
# The Linux road on Debian's own kernel in QEMU, the installed package too.
vm() {
  local deb
  deb=$(ls build/deb/orvex-cli_*_amd64.deb 2>/dev/null | head -n 1)
  tests/vm/run.sh --build build/native ${deb:+--deb "$deb"}
}
step "Linux road on a real kernel (QEMU)" vm
step "artwork matches its script" python3 res/art/make_art.py --check
step "win32 build" build win32
step "win64 build" build win64
step "release packages" scripts/check-package.sh

cases_passed=0
cases_failed=0
e2e() {  # e2e ARCH: the suite on one build; its case counts join the total
  local out=build/e2e/suite-$1.txt rc
  mkdir -p build/e2e
  ORVEX_WINE_ARCH=$1 tests/e2e/run.sh --no-build tests/e2e/cases/*.case tests/e2e/demo/*.case 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$out" | tail -n 1)
  if [ -n "$line" ]; then
    cases_passed=$((cases_passed + ${line%% *}))
    line=${line#*, }
    cases_failed=$((cases_failed + ${line%% *}))
  else
    cases_failed=$((cases_failed + 1))
  fi
  return "$rc"
}
for a in "${archs[@]}"; do
  step "end-to-end under Wine (win$a)" e2e "$a"
done
step "the run command's transcript" tests/scripts/run-output-test.sh
step "INI reader against Wine (win${ORVEX_WINE_ARCH:-$ORVEX_WINE_ARCH_ANSWER})" tests/e2e/profile-diff.sh
step "fuzzing (short)" tests/fuzz/run.sh "${ORVEX_FUZZ_SECONDS:-15}"

echo "$passed steps passed, $failed failed; end-to-end cases: $cases_passed passed, $cases_failed failed (${archs[*]/#/win})"
[ "$failed" -eq 0 ]
