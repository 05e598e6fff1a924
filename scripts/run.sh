#!/usr/bin/env bash
# Builds Orvex.exe and the simulated drive, and runs the updater against it.
#
# With a display (DISPLAY set and reachable) the dialog opens there in
# unattended mode on a generated demo image; press Update (or let another
# program post WM_USER+4). Without a display the whole unattended update runs
# under Xvfb by itself: the message boxes it answered and the texts it read
# are printed, screenshots go to build/e2e/<build>/shots/unattended-*.png,
# and the simulated drive's revision is shown before and after.
#
# It runs the 32-bit build (build/win32) where Wine's 32-bit loader starts,
# else the 64-bit one (build/win64); ORVEX_WINE_ARCH=32|64 chooses.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh run
export ORVEX_DEPS_CHECKED=run
# shellcheck source=wine-arch.sh
. scripts/wine-arch.sh
orvex_wine_decide
orvex_wine_use "$ORVEX_WINE_ARCH_ANSWER"
if [ "$ORVEX_WINE_ARCH_ANSWER" = 64 ]; then
  echo "run: the 64-bit build (build/win64) under Wine's 64-bit loader: $ORVEX_WINE_WHY"
else
  echo "run: the 32-bit build (build/win32): $ORVEX_WINE_WHY"
fi
preset=$ORVEX_WIN_PRESET
export ORVEX_WINE_ARCH=$ORVEX_WINE_ARCH_ANSWER  # the e2e runner below runs the same
cmake --preset native >/dev/null && cmake --build --preset native -j2 --target orvex-imagegen >/dev/null
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j2 >/dev/null

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  demo=$root/build/demo
  rm -rf "$demo" && mkdir -p "$demo"
  cp "build/$preset/Orvex.exe" "build/$preset/sim/wnaspi32.dll" "$demo/"
  cat >"$demo/wnaspi32.cfg" <<'EOF_CFG'
adapters 1
latency 20
flash flash.txt
device 0 0 0
vendor "KORVELIN"
product "DVDRRW MQT-R41A "
revision "1.00"
idtext "ID5678"
EOF_CFG
  build/native/tools/orvex-imagegen "$demo/demo.bin" \
    --identity 0x150000 KORVELIN "DVDRRW MQT-R41A " 1.10 --text 0x160000 ID5678 >/dev/null
  printf '[MODE]\r\nAuto=1\r\n[MODEL]\r\nAutoDetect=16\r\n[FILE]\r\nFile Name=demo.bin\r\n' >"$demo/Orvex.INI"
  cd "$demo"
  WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;wnaspi32=n" exec wine ./Orvex.exe
fi

log=build/e2e/$preset/cases/unattended/log.txt
status=0
tests/e2e/run.sh --no-build tests/e2e/demo/unattended.case || status=$?
echo
echo "---- what the run showed (driver transcript) ----"
# The driver numbers its lines ("ok    37 text IDC_CURRENT  => ..."): match
# the command word after the number, whatever the number's width.
grep -E "NOTE|^ok +[0-9]+ (text|wait_box|answer) |started" "$log" | sed -E 's/^ok +[0-9]+ //'
echo
echo "---- requests the simulated drive received, by command byte ----"
sed -n 's/.* cdb=\(..\)\(..\).*/\1 \2/p' build/e2e/$preset/cases/unattended/sim.log | sort | uniq -c |
  awk '{n[$2]=n[$2]" "$3":"$1} END {for (c in n) print "  " c n[c]}' | sort
echo
echo "screenshots: $root/build/e2e/$preset/shots/unattended-update.png, unattended-completed.png"
exit "$status"
