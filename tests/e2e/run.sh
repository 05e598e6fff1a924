#!/usr/bin/env bash
# End-to-end runner: the real Orvex.exe under Wine on one Xvfb display,
# driven by OrvexDriver.exe. See tests/e2e/README.md.
#
#   tests/e2e/run.sh [--no-build] [--fresh-prefix] [--keep] [CASE...]
#
# CASE is a name (spine_about) or a path to a .case file; none runs every
# tests/e2e/cases/*.case. Prints one line per case and then exactly
# "N passed, M failed"; exits nonzero when a case failed.
#
# The Windows architecture comes from scripts/wine-arch.sh (32 where Wine's
# 32-bit loader starts, else 64; ORVEX_WINE_ARCH=32|64 overrides): the run
# uses build/win32 or build/win64, the matching Wine loader, and a prefix
# and output folder of its own, build/e2e/win32 or build/e2e/win64.
#
# Environment overrides: ORVEX_EXE, ORVEX_DRIVER, ORVEX_SIM_DLL (files to
# use instead of the build's), E2E_DISPLAY (display number to start Xvfb
# on, default the first free from 93).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
E2E_SRC=$ROOT/tests/e2e
# shellcheck source=../../scripts/wine-arch.sh
. "$ROOT/scripts/wine-arch.sh"
if [ "${1:-}" = "--case-exec" ]; then
  # A case runs with what its runner chose.
  orvex_wine_use "$ORVEX_WINE_ARCH_USED" || exit 2
else
  orvex_wine_decide || exit 2
  orvex_wine_use "$ORVEX_WINE_ARCH_ANSWER" || exit 2
fi
OUT=$ROOT/build/e2e/$ORVEX_WIN_PRESET
WIN_BUILD=$ROOT/build/$ORVEX_WIN_PRESET
SHOTS=$OUT/shots
PREFIX=$OUT/prefix
WINE_OVERRIDES="mscoree,mshtml=;wnaspi32=n"

# ---------------------------------------------------------------- helpers for cases
# Everything below up to "runner" is the case API; it runs inside the case's
# own bash process (run.sh --case-exec), with the case directory as cwd.

log() { printf '%s\n' "$*"; }

fail() {
  log "FAIL: $*"
  exit 1
}

# Environment for every Wine process of the case.
wine_env() {
  env WINEPREFIX="$CASE_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="$WINE_OVERRIDES" DISPLAY="$DISPLAY" "$@"
}

# start_orvex [ARGS...]: starts Orvex.exe from the case directory, in the
# background, bounded by the case's time. Sets ORVEX_PID.
start_orvex() {
  (cd "$CASE_DIR" && exec timeout -k 2 "$CASE_TIMEOUT" env WINEPREFIX="$CASE_PREFIX" WINEDEBUG=-all \
    WINEDLLOVERRIDES="$WINE_OVERRIDES" DISPLAY="$DISPLAY" wine ./Orvex.exe "$@" \
    >>"$CASE_DIR/orvex.out" 2>&1) &
  ORVEX_PID=$!
  echo "$ORVEX_PID" >>"$CASE_DIR/pids"
  log "started Orvex.exe (pid $ORVEX_PID)"
}

# drive [--timeout SECONDS] [--may-fail] < SCRIPT: runs the driver on the
# script from standard input. Its transcript goes to the log; NAME=VALUE
# lines it measured (screen_rect, syscolor, units) become shell variables.
# Fails the case when the driver fails, unless --may-fail (then returns
# the driver's status; DRIVE_STATUS holds it in both cases).
drive() {
  local limit=60 may_fail=0
  while [ $# -gt 0 ]; do
    case $1 in
      --timeout) limit=$2; shift 2 ;;
      --may-fail) may_fail=1; shift ;;
      *) fail "drive: unknown option $1" ;;
    esac
  done
  local vars=$CASE_DIR/driver.vars
  : >"$vars"
  (cd "$CASE_DIR" && timeout -k 2 "$limit" env WINEPREFIX="$CASE_PREFIX" WINEDEBUG=-all \
    WINEDLLOVERRIDES="$WINE_OVERRIDES" DISPLAY="$DISPLAY" wine "$DRIVER_EXE" \
    --vars "Z:$vars" --record "Z:$CASE_DIR/boxes" -) | tr -d '\r'
  DRIVE_STATUS=${PIPESTATUS[0]}
  # shellcheck disable=SC1090
  . "$vars"
  if [ "$DRIVE_STATUS" -ne 0 ] && [ "$may_fail" -eq 0 ]; then
    [ "$DRIVE_STATUS" -eq 124 ] && fail "driver timed out after ${limit}s"
    fail "driver exit status $DRIVE_STATUS"
  fi
  return "$DRIVE_STATUS"
}

# open_image FILE: Open on the main dialog, FILE (a path, or a name in the
# case directory, where the file dialog starts) typed into the common file
# dialog's name field, and its Open button; returns once the file dialog is
# gone. What the program then shows is the case's to check.
open_image() {
  drive <<EOF_OPEN
window "Tarnquil 5.00.06W"
wait_visible
click IDC_OPEN
window "Open"
wait_visible
settext 1148 $(quote_text "$1")
click IDOK
gone
EOF_OPEN
}

# press_key CAPTION KEY...: gives the X focus to the window with exactly
# this caption and presses the keys (xdotool names: Escape, Return, Tab,
# alt+F4). Never uses `key --window`: its key-up would reach a window that
# the key may already have destroyed.
press_key() {
  local caption=$1
  shift
  local pattern win
  pattern="^$(printf '%s' "$caption" | sed 's/[][\.*^$+?(){}|/]/\\&/g')\$"
  win=$(timeout 5 xdotool search --onlyvisible --name "$pattern" | tail -n 1)
  [ -n "$win" ] || fail "press_key: no X window named \"$caption\""
  timeout 10 xdotool windowfocus --sync "$win" || fail "press_key: cannot focus \"$caption\""
  timeout 10 xdotool key "$@" || fail "press_key: xdotool key $*"
  log "pressed $* in \"$caption\""
}

# shot NAME: screenshot of the whole display to build/e2e/ARCH/shots/CASE-NAME.png;
# sets SHOT to its path.
shot() {
  SHOT=$SHOTS/$CASE_NAME-$1.png
  timeout 20 import -display "$DISPLAY" -window root "$SHOT" || fail "shot: import failed"
  log "screenshot $SHOT"
}

# pixel FILE X Y: prints the pixel's colour as RRGGBB.
pixel() {
  timeout 20 convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | cut -c1-6
}

# Within TOL (default 0) in each of red, green and blue?
colour_near() {
  local got=$1 want=$2 tol=${3:-0} i g w d
  [ ${#got} -eq 6 ] || return 1
  for i in 0 2 4; do
    g=$((16#${got:$i:2}))
    w=$((16#${want:$i:2}))
    d=$((g - w))
    [ ${d#-} -le "$tol" ] || return 1
  done
}

# expect_pixel FILE X Y RRGGBB [TOL]
expect_pixel() {
  local got
  got=$(pixel "$1" "$2" "$3")
  colour_near "$got" "$4" "${5:-0}" || fail "pixel ($2,$3) of $(basename "$1") is $got, want $4"
  log "pixel ($2,$3) is $got"
}

# wait_pixel X Y RRGGBB [SECONDS] [TOL]: polls the screen until the pixel
# has the colour, for example before a screenshot of a window just found.
wait_pixel() {
  local x=$1 y=$2 want=$3 limit=${4:-10} tol=${5:-0} got="" end
  end=$((SECONDS + limit))
  while :; do
    got=$(timeout 10 import -display "$DISPLAY" -window root -crop "1x1+$x+$y" +repage -depth 8 rgb:- 2>/dev/null |
      od -An -tx1 | tr -d ' \n' | tr a-f A-F)
    colour_near "$got" "$want" "$tol" && break
    [ "$SECONDS" -ge "$end" ] && fail "pixel ($x,$y) stays $got, want $want"
    sleep 0.1
  done
  log "pixel ($x,$y) is $got"
}

# wait_exit [SECONDS]: waits until Orvex.exe has ended.
wait_exit() {
  local limit=${1:-10} end
  end=$((SECONDS + limit))
  while kill -0 "$ORVEX_PID" 2>/dev/null; do
    [ "$SECONDS" -ge "$end" ] && fail "Orvex.exe still running after ${limit}s"
    sleep 0.1
  done
  log "Orvex.exe has ended"
}

# The texts of the message boxes the driver recorded in this case, in order,
# in the driver's quoted form, one a line.
recorded_boxes() {
  [ -f "$CASE_DIR/boxes" ] && cut -f4- "$CASE_DIR/boxes"
}

# Quotes a text the way the driver records it.
quote_text() {
  local s=$1
  s=${s//\\/\\\\}
  s=${s//\"/\\\"}
  s=${s//$'\r'/\\r}
  s=${s//$'\n'/\\n}
  s=${s//$'\t'/\\t}
  printf '"%s"' "$s"
}

# expect_boxes TEXT...: exactly these message boxes were seen, in this order.
expect_boxes() {
  local want="" t got
  for t in "$@"; do want+="$(quote_text "$t")"$'\n'; done
  got=$(recorded_boxes)
  [ -n "$got" ] && got+=$'\n'
  [ "$got" = "$want" ] || fail "boxes seen:"$'\n'"$got"'want:'$'\n'"$want"
  log "boxes as expected ($#)"
}

# ---------------------------------------------------------------- one case

case_exec() {
  CASE_FILE=$1
  CASE_NAME=$(basename "$CASE_FILE" .case)
  CASE_DRIVE=0
  CASE_TIMEOUT=60
  CASE_DESC=""
  # shellcheck disable=SC1090
  . "$CASE_FILE"
  log "case $CASE_NAME: $CASE_DESC"
  cd "$CASE_DIR" || exit 1
  cp "$ORVEX_EXE" "$CASE_DIR/Orvex.exe" || fail "cannot copy $ORVEX_EXE"
  if [ "$CASE_DRIVE" = 1 ]; then
    if [ -z "$SIM_DLL" ] || [ ! -f "$SIM_DLL" ]; then
      fail "the case wants a drive and no simulated wnaspi32.dll is built"
    fi
    cp "$SIM_DLL" "$CASE_DIR/wnaspi32.dll"
  fi
  if declare -F setup >/dev/null; then setup; fi
  declare -F run >/dev/null || fail "the case defines no run()"
  run
  log "case done"
}

# ---------------------------------------------------------------- runner

stop_wine() {  # stop_wine PREFIX: ends every Wine process of that prefix
  [ -d "$1" ] || return 0
  WINEPREFIX=$1 timeout 10 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$1 timeout 10 wineserver -w >/dev/null 2>&1
  return 0
}

have_tools() {
  local t
  for t in wine wineserver Xvfb xdotool import convert cmake "$ORVEX_MINGW-g++"; do
    command -v "$t" >/dev/null || return 1
  done
}

start_xvfb() {
  local n=${E2E_DISPLAY:-93}
  if [ -z "${E2E_DISPLAY:-}" ]; then
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  fi
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  local end=$((SECONDS + 15))
  until timeout 2 xdotool getdisplaygeometry >/dev/null 2>&1; do
    kill -0 "$XVFB_PID" 2>/dev/null || { cat "$OUT/xvfb.log" >&2; return 1; }
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.1
  done
}

# One shared prefix per architecture, made once and reused while Wine's
# version stays.
make_prefix() {
  local want
  # Bump the suffix when the prefix's settings below change.
  want="$(wine --version 2>/dev/null) settings-2"
  if [ "$FRESH_PREFIX" = 0 ] && [ -f "$PREFIX/.orvex-e2e" ] && [ "$(cat "$PREFIX/.orvex-e2e")" = "$want" ]; then
    return 0
  fi
  stop_wine "$PREFIX"
  # Processes that were just ended may still be writing into it.
  local end=$((SECONDS + 20))
  until rm -rf "$PREFIX" 2>/dev/null; do
    [ "$SECONDS" -ge "$end" ] && { echo "cannot remove $PREFIX" >&2; return 1; }
    stop_wine "$PREFIX"
    sleep 0.5
  done
  log "creating the Wine prefix (about 15 s)"
  local p=(env WINEPREFIX="$PREFIX" WINEARCH="$ORVEX_WINEARCH" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
  timeout 180 "${p[@]}" wineboot -i >"$OUT/prefix.log" 2>&1 || return 1
  timeout 60 "${p[@]}" wineserver -w
  # A virtual desktop gives title bars, dependable focus, and no 2 s pause
  # after every window that closes.
  timeout 60 "${p[@]}" wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >>"$OUT/prefix.log" 2>&1 &&
    timeout 60 "${p[@]}" wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
      >>"$OUT/prefix.log" 2>&1 || return 1
  # A crash ends the process with a backtrace in its output instead of a
  # crash dialog that would wait for the case's time limit.
  timeout 60 "${p[@]}" wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >>"$OUT/prefix.log" 2>&1 || return 1
  stop_wine "$PREFIX"
  echo "$want" >"$PREFIX/.orvex-e2e"
}

find_sim_dll() {
  if [ -n "${ORVEX_SIM_DLL:-}" ]; then
    echo "$ORVEX_SIM_DLL"
    return
  fi
  # The simulated drive's library, never the pass-through one of spti/.
  echo "$WIN_BUILD/sim/wnaspi32.dll"
}

# case_setting FILE VAR DEFAULT: a setting from the case's header, read in
# a subshell so nothing of the case leaks into the runner.
case_setting() {
  # shellcheck disable=SC1090
  (. "$1" >/dev/null 2>&1; eval "echo \"\${$2:-$3}\"")
}

main() {
  local build=1 keep=0 names=()
  FRESH_PREFIX=0
  while [ $# -gt 0 ]; do
    case $1 in
      --no-build) build=0 ;;
      --fresh-prefix) FRESH_PREFIX=1 ;;
      --keep) keep=1 ;;
      -h | --help) sed -n '2,14p' "${BASH_SOURCE[0]}"; exit 0 ;;
      -*) echo "unknown option $1" >&2; exit 2 ;;
      *) names+=("$1") ;;
    esac
    shift
  done

  local cases=() n f
  if [ ${#names[@]} -eq 0 ]; then
    for f in "$E2E_SRC"/cases/*.case; do [ -f "$f" ] && cases+=("$f"); done
  else
    for n in "${names[@]}"; do
      if [ -f "$n" ]; then f=$n; else f=$E2E_SRC/cases/${n%.case}.case; fi
      [ -f "$f" ] || { echo "no case $n" >&2; exit 2; }
      cases+=("$(cd "$(dirname "$f")" && pwd)/$(basename "$f")")
    done
  fi
  # Cases in a prefix of their own may end every process of it (a restart
  # under Wine does): they run after the others.
  local early=() late=()
  for f in "${cases[@]}"; do
    if [ "$(case_setting "$f" CASE_PRISTINE 0)" = 1 ]; then late+=("$f"); else early+=("$f"); fi
  done
  cases=("${early[@]}" "${late[@]}")

  mkdir -p "$OUT" "$SHOTS" "$OUT/cases"
  echo "e2e: Windows $ORVEX_WINE_ARCH_USED-bit build ($ORVEX_WIN_PRESET) under Wine: ${ORVEX_WINE_WHY:-as chosen}"
  summary() { echo "$1 passed, $2 failed"; }

  # Runs in the same tree share the prefix and build/e2e, and each stops the
  # prefix's Wine server between cases: one run at a time.
  exec 9>"$ROOT/build/e2e/run.lock"
  if ! flock -n 9; then
    echo "e2e: waiting for another run in this tree to finish" >&2
    flock -w 900 9 || { echo "e2e: the other run did not finish within 15 minutes" >&2
      summary 0 ${#cases[@]}; exit 1; }
  fi

  if ! have_tools; then
    if [ -x "$ROOT/scripts/install-deps.sh" ] || [ -f "$ROOT/scripts/install-deps.sh" ]; then
      bash "$ROOT/scripts/install-deps.sh" run >&2 || true
    fi
    have_tools || { echo "e2e: wine, Xvfb, xdotool, ImageMagick or the mingw compiler is missing" >&2
      summary 0 ${#cases[@]}; exit 1; }
  fi

  if [ "$build" = 1 ]; then
    if ! { (cd "$ROOT" && timeout 300 cmake --preset "$ORVEX_WIN_PRESET" &&
      timeout 900 cmake --build --preset "$ORVEX_WIN_PRESET" -j2) >"$OUT/build.log" 2>&1; }; then
      echo "e2e: the $ORVEX_WIN_PRESET build failed; see ${OUT#"$ROOT"/}/build.log" >&2
      tail -n 15 "$OUT/build.log" >&2
      summary 0 ${#cases[@]}
      exit 1
    fi
  fi
  export ORVEX_EXE=${ORVEX_EXE:-$WIN_BUILD/Orvex.exe}
  export DRIVER_EXE=${ORVEX_DRIVER:-$WIN_BUILD/tests/e2e/OrvexDriver.exe}
  SIM_DLL=$(find_sim_dll)
  export SIM_DLL
  for f in "$ORVEX_EXE" "$DRIVER_EXE"; do
    [ -f "$f" ] || { echo "e2e: $f is missing" >&2; summary 0 ${#cases[@]}; exit 1; }
  done

  XVFB_PID=""
  trap 'stop_wine "$PREFIX"; [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; wait 2>/dev/null' EXIT
  start_xvfb || { echo "e2e: Xvfb did not start" >&2; summary 0 ${#cases[@]}; exit 1; }
  stop_wine "$PREFIX"  # a server left from an aborted run may sit on another display
  make_prefix || { echo "e2e: cannot create the Wine prefix; see ${OUT#"$ROOT"/}/prefix.log" >&2
    summary 0 ${#cases[@]}; exit 1; }

  local passed=0 failed=0 c name dir prefix t0 status pristine limit reason secs
  for c in "${cases[@]}"; do
    name=$(basename "$c" .case)
    dir=$OUT/cases/$name
    rm -rf "$dir"
    mkdir -p "$dir"
    rm -f "$SHOTS/$name"-*.png
    pristine=$(case_setting "$c" CASE_PRISTINE 0)
    limit=$(case_setting "$c" CASE_TIMEOUT 60)
    prefix=$PREFIX
    if [ "$pristine" = 1 ]; then
      prefix=$dir/prefix
      cp -a "$PREFIX" "$prefix"
    fi
    t0=$(date +%s%N)
    CASE_DIR=$dir CASE_PREFIX=$prefix SHOTS=$SHOTS \
      timeout -k 5 $((limit + 10)) bash "${BASH_SOURCE[0]}" --case-exec "$c" >"$dir/log.txt" 2>&1
    status=$?
    # Whatever the case left running goes: its processes by id, then the
    # rest of that prefix's Wine processes through its server.
    if [ -f "$dir/pids" ]; then
      while read -r p; do kill "$p" 2>/dev/null; done <"$dir/pids"
    fi
    stop_wine "$prefix"
    t0=$((($(date +%s%N) - t0) / 100000000))
    secs=$((t0 / 10)).$((t0 % 10))
    if [ "$status" -eq 0 ]; then
      passed=$((passed + 1))
      echo "PASS $name (${secs}s)"
    else
      failed=$((failed + 1))
      reason=$(grep -E '^(FAIL|  +=>)' "$dir/log.txt" | grep -m1 'FAIL' || true)
      [ "$status" -eq 124 ] && reason="timed out (CASE_TIMEOUT ${limit}s)"
      [ -z "$reason" ] && reason="exit status $status"
      echo "FAIL $name (${secs}s): $reason [log: ${dir#"$ROOT"/}/log.txt]"
    fi
    if [ "$pristine" = 1 ] && [ "$keep" = 0 ]; then rm -rf "$prefix"; fi
  done
  summary "$passed" "$failed"
  [ "$failed" -eq 0 ]
}

if [ "${1:-}" = "--case-exec" ]; then
  export DISPLAY
  case_exec "$2"
else
  main "$@"
fi
