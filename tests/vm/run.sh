#!/bin/bash
# The Linux road on a real Linux kernel: a QEMU guest (TCG) boots Debian's
# own kernel; target_core_user and tcm_loop put the simulated drive
# (sim/tcmu/sim-tcmu over sim/SimModel) behind the kernel's sr and sg
# drivers, and orvex-cli with libwnaspi32.so runs against /dev/sg* as root,
# as a member of the drive's group and as a user without access. Each case
# is a file of tests/vm/cases/ run in the guest (tests/vm/README.md).
#
#   tests/vm/run.sh [--build DIR] [--deb FILE] [--pending] [--no-sg] [CASE...]
#
# --build DIR  a native build to take (default: build/native, built here)
# --deb FILE   also unpack this package into the guest and run the cases
#              that need it against the installed /usr/bin/orvex-cli
# --pending    also run the cases marked "pending" (they wait for work
#              elsewhere and are expected to fail until it lands)
# --no-sg      boot without the sg module: the drive has its block node
#              /dev/srN alone (the cases that say "# road: both" are meant
#              for it)
#
# The kernel and busybox come from Debian's archive once (apt-get download,
# never installed) and are kept under build/vm/cache. Exits nonzero on any
# failure, and when QEMU cannot start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=
deb=
pending=0
no_sg=0
wanted=()
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$(realpath "$2"); shift 2 ;;
    --deb) deb=$(realpath "$2"); shift 2 ;;
    --pending) pending=1; shift ;;
    --no-sg) no_sg=1; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    -*) echo "vm: unknown option $1" >&2; exit 64 ;;
    *) wanted+=("$1"); shift ;;
  esac
done
[ "${ORVEX_VM_PENDING:-0}" = 1 ] && pending=1

vm=$root/build/vm
cache=$vm/cache
mkdir -p "$cache"
die() {
  echo "vm: $*"
  echo "vm cases: 0 passed, 1 failed"
  exit 1
}
step_start=$(date +%s.%N)
elapsed() { awk -v a="$step_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

qemu=$(command -v qemu-system-x86_64 || true)
[ -n "$qemu" ] || die "qemu-system-x86_64 not found: install Debian's qemu-system-x86"
for tool in cpio gzip dpkg-deb python3 ldd; do
  command -v $tool >/dev/null || die "$tool not found"
done

# ---------------------------------------------------------------- programs
targets=(orvex-cli spti_libwnaspi32 orvex-imagegen sim_tcmu sim_usbgadget)
if [ -z "$build" ]; then
  build=$root/build/native
  [ -f "$build/CMakeCache.txt" ] || (cd "$root" && cmake --preset native >/dev/null) || die "cmake --preset native failed"
fi
cmake --build "$build" -j2 --target "${targets[@]}" >"$vm/build.log" 2>&1 ||
  die "building ${targets[*]} in $build failed (see $vm/build.log)"
for f in cli/orvex-cli spti/libwnaspi32.so tools/orvex-imagegen sim/tcmu/sim-tcmu sim/usbgadget/sim-usbgadget; do
  [ -x "$build/$f" ] || [ -f "$build/$f" ] || die "$build/$f is missing"
done

# ---------------------------------------------------------------- Debian's kernel and busybox
# A package file already in the cache is used as it is: a second run asks
# the archive nothing.
fetch() {  # fetch GLOB PACKAGE: FOUND is the cached .deb, downloaded when missing
  FOUND=$(ls "$cache"/$1_*.deb 2>/dev/null | sort -V | tail -1 || true)
  if [ -z "$FOUND" ]; then
    # Bounded: an archive that does not answer is a failure, never a hang.
    if ! (cd "$cache" && timeout 300 apt-get download "$2" >"$cache/apt-$2.log" 2>&1); then
      die "the package archive cannot provide $2: $(grep -m1 -E '^(E|W): ' "$cache/apt-$2.log" | sed -E 's/^(E|W): //' || true) (see $cache/apt-$2.log)"
    fi
    FOUND=$(ls "$cache"/$1_*.deb 2>/dev/null | sort -V | tail -1 || true)
  fi
  [ -n "$FOUND" ] || die "no $2 package in $cache"
}
unpack() {  # unpack DEB: UNPACKED is its folder in the cache, unpacked once
  UNPACKED=$cache/unpacked/$(basename "$1" .deb)
  if [ ! -e "$UNPACKED/.done" ]; then
    rm -rf "$UNPACKED"
    mkdir -p "$UNPACKED"
    dpkg-deb -x "$1" "$UNPACKED" || die "dpkg-deb -x $1 failed"
    touch "$UNPACKED/.done"
  fi
}
kdeb=$(ls "$cache"/linux-image-*-amd64_*.deb 2>/dev/null | grep -v -- -dbg | sort -V | tail -1 || true)
if [ -z "$kdeb" ]; then
  kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }' || true)
  # A machine whose package lists were never fetched knows no kernel yet.
  if [ -z "$kpkg" ] && [ "$(id -u)" = 0 ]; then
    apt-get update -qq >/dev/null 2>&1 || true
    kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }' || true)
  fi
  [ -n "$kpkg" ] || die "apt-cache finds no kernel package that linux-image-amd64 depends on (apt-get update?)"
  fetch "$kpkg" "$kpkg"
  kdeb=$FOUND
fi
unpack "$kdeb"
kdir=$UNPACKED
kernel=$(ls "$kdir"/boot/vmlinuz-* | head -1)
kver=$(basename "$kernel" | sed 's/^vmlinuz-//')
fetch busybox-static busybox-static
unpack "$FOUND"
bdir=$UNPACKED

# ---------------------------------------------------------------- the guest's root
stage=$vm/root
rm -rf "$stage"
mkdir -p "$stage"/{bin,dev,proc,sys,tmp,etc,vm/bin,vm/img,vm/modules,vm/cases,opt/orvex/cli,opt/orvex/spti,usr/bin}
cp "$bdir/bin/busybox" "$stage/bin/busybox"
cp "$here/guest/init" "$stage/init"
cp "$here/guest/lib.sh" "$stage/vm/lib.sh"
cp "$here/guest/roads.sh" "$stage/vm/roads.sh"
chmod 755 "$stage/init"
cp "$build/cli/orvex-cli" "$stage/opt/orvex/cli/"
cp "$build/spti/libwnaspi32.so" "$stage/opt/orvex/spti/"
cp "$build/sim/tcmu/sim-tcmu" "$stage/vm/bin/"
cp "$build/sim/usbgadget/sim-usbgadget" "$stage/vm/bin/"
${CC:-cc} -O2 -Wall -o "$stage/vm/bin/vm-probe" "$here/probe.c" || die "cannot build tests/vm/probe.c"
# Not busybox's applets: util-linux's setpriv and flock, and coreutils'
# env, which starts a program with every signal at its default.
cp /usr/bin/setpriv /usr/bin/flock /usr/bin/env "$stage/usr/bin/"
printf 'root:x:0:0:root:/:/bin/sh\nmember:x:1000:1000::/tmp:/bin/sh\nstranger:x:1001:1001::/tmp:/bin/sh\n' >"$stage/etc/passwd"
printf 'root:x:0:\ncdrom:x:24:member\nmember:x:1000:\nstranger:x:1001:\n' >"$stage/etc/group"

if [ -n "$deb" ]; then
  [ -f "$deb" ] || die "--deb $deb: no such file"
  dpkg-deb -x "$deb" "$stage" || die "dpkg-deb -x $deb failed"
fi

# Every shared library the programs and libraries need, at the same path.
libs() {
  ldd "$1" 2>/dev/null | awk '/=> \// { print $3 } /^\t\/[^ ]+ \(/ { print $1 }'
}
copy_libs() {
  local f lib
  for f in "$@"; do
    for lib in $(libs "$f"); do
      [ -e "$stage$lib" ] && continue
      mkdir -p "$stage$(dirname "$lib")"
      cp -L "$lib" "$stage$lib"
    done
  done
}
copy_libs "$stage"/opt/orvex/cli/orvex-cli "$stage"/opt/orvex/spti/libwnaspi32.so "$stage"/vm/bin/sim-tcmu \
  "$stage"/usr/bin/setpriv "$stage"/usr/bin/flock "$stage"/usr/bin/env "$stage"/vm/bin/vm-probe "$stage"/vm/bin/sim-usbgadget
if [ -n "$deb" ]; then
  copy_libs $(find "$stage/usr/bin" "$stage/usr/lib" -type f \( -perm -u+x -o -name '*.so*' \) 2>/dev/null)
fi

# The modules for sr, sg, TCMU and tcm_loop, with what they depend on
# (the "depends=" of each module's information), in loading order.
mdir=$kdir/lib/modules/$kver
declare -A modpath=() loaded=()
while IFS= read -r f; do
  name=${f##*/}; name=${name%%.ko*}
  modpath[${name//-/_}]=$f
done < <(find "$mdir" -name '*.ko' -o -name '*.ko.xz')
order=()
visit() {
  local key=${1//-/_} f deps d
  [ -n "${loaded[$key]:-}" ] && return
  loaded[$key]=1
  f=${modpath[$key]:-}
  [ -n "$f" ] || die "module $1 is not in $kdeb"
  case $f in
    *.xz) xz -dc "$f" >"$stage/vm/modules/$key.ko" ;;
    *) cp "$f" "$stage/vm/modules/$key.ko" ;;
  esac
  deps=$(grep -a -o 'depends=[^[:cntrl:]]*' "$stage/vm/modules/$key.ko" | head -1 | cut -d= -f2)
  for d in ${deps//,/ }; do visit "$d"; done
  order+=("$key")
}
for m in configfs sr_mod sg target_core_user tcm_loop isofs; do
  [ "$m" = sg ] && [ "$no_sg" = 1 ] && continue
  visit $m
done
printf '%s\n' "${order[@]}" >"$stage/vm/modules.list"
# The roads real drives come by, for the second boot: SATA (ahci, libata),
# USB mass storage behind QEMU's xHCI, and dummy_hcd with FunctionFS for the
# simulated drive as a USB device.
order=()
for m in ahci xhci_pci usb_storage dummy_hcd libcomposite usb_f_fs; do visit $m; done
printf '%s\n' "${order[@]}" >"$stage/vm/modules-roads.list"

# Images, and the CRC-32 of each 8 KiB piece the drive must receive.
gen=$build/tools/orvex-imagegen
image() {  # image NAME REVISION
  "$gen" "$stage/vm/img/$1.bin" --identity 0x150000 KORVELIN "DVDRRW MQT-R41A " "$2" --text 0x160000 ID5678 >/dev/null ||
    die "orvex-imagegen failed"
  python3 - "$stage/vm/img/$1.bin" >"$stage/vm/img/$1.pieces" <<'PY'
import sys, zlib
data = open(sys.argv[1], 'rb').read()
for off in range(0, 0x1A0000, 8192):
    print("%06X %08X" % (off, zlib.crc32(data[off:off + 8192])))
PY
}
image new 1.10
image newer 1.20
image ws 2.00

# The cases: every file of cases/, or those named; "pending" ones only when
# asked; those that need the package only with --deb.
all=()
for f in "$here"/cases/*.sh; do all+=("$(basename "$f" .sh)"); done
[ ${#wanted[@]} -gt 0 ] || wanted=("${all[@]}")
run=()
roads=()
nosg=()
skipped=0
for c in "${wanted[@]}"; do
  f=$here/cases/$c.sh
  [ -f "$f" ] || die "no case $c (tests/vm/cases/$c.sh)"
  why=$(sed -n 's/^# pending: //p' "$f" | head -1)
  if [ -n "$why" ] && [ "$pending" = 0 ]; then
    echo "vm: pending $c (not run; --pending runs it): $why"
    skipped=$((skipped + 1))
    continue
  fi
  if grep -q '^# needs: --deb' "$f" && [ -z "$deb" ]; then
    echo "vm: not run $c: it needs --deb FILE"
    skipped=$((skipped + 1))
    continue
  fi
  cp "$f" "$stage/vm/cases/"
  if grep -q '^# boot: roads' "$f"; then roads+=("$c"); else run+=("$c"); fi
  grep -q '^# road: both' "$f" && nosg+=("$c")
done
printf '%s\n' "${run[@]}" >"$stage/vm/cases.list"
printf '%s\n' "${nosg[@]}" >"$stage/vm/cases-nosg.list"
printf '%s\n' "${roads[@]}" >"$stage/vm/cases-roads.list"

initrd=$vm/initrd.gz
(cd "$stage" && find . | cpio -o -H newc -R 0:0 --quiet | gzip -1 >"$initrd")
prep=$(elapsed)

# ---------------------------------------------------------------- the boots
bound=${ORVEX_VM_BOUND:-300}
passed=0
failed=0
# boot NAME ARG...: QEMU with ARGs, the cases of cases(-NAME).list; the
# results counted into passed and failed.
boot() {
  local name=$1 console=$vm/console.log qerr=$vm/qemu.err
  shift
  [ "$name" = main ] || console=$vm/console-$name.log qerr=$vm/qemu-$name.err
  local cases=("${run[@]}")
  case $name in
    roads) cases=("${roads[@]}") ;;
    nosg) cases=("${nosg[@]}") ;;
  esac
  [ ${#cases[@]} -gt 0 ] || return 0
  set +e
  timeout -k 5 "$bound" "$qemu" -accel tcg -m 512 -smp "${ORVEX_VM_CPUS:-2}" -nographic -no-reboot \
    -kernel "$kernel" -initrd "$initrd" -append "console=ttyS0 quiet panic=-1 orvex.boot=$name" \
    -nic none "$@" >"$console" 2>"$qerr" </dev/null
  qstatus=$?
  set -e
  # Each line as the guest wrote it, from its "@@" on (the firmware's screen
  # codes stand before the first).
  tr -d '\r' <"$console" | sed 's/^[^@]*@@/@@/' >"$console.txt"
  log=$console.txt
  if ! grep -q '^@@vm kernel ' "$log"; then
    reason=$(head -c 300 "$qerr" | tr '\n' ' ')
    [ $qstatus = 124 ] && reason="no guest output within $bound s ${reason}"
    die "QEMU could not start the guest (status $qstatus): ${reason:-see $console}"
  fi

  echo "vm: booted Debian's kernel $(sed -n 's/^@@vm kernel //p' "$log") from $(basename "$kdeb") ($name)"
  sed -n 's/^@@vm ready /vm: ready /p; s/^@@vm attach /vm: /p; s/^@@vm fatal /vm: FATAL /p' "$log"
  for c in "${cases[@]}"; do
    result=$(sed -n "s/^@@case $c \(pass\|fail\)\(.*\)/\1\2/p" "$log" | tail -1)
    case $result in
      pass*)
        passed=$((passed + 1))
        echo "vm: pass $c (${result#pass }${result:+})"
        ;;
      *)
        failed=$((failed + 1))
        [ -n "$result" ] || result="fail: it never ended (the guest stopped or was stopped at $bound s)"
        echo "vm: FAIL $c"
        sed -n "s/^@@fail $c /vm:   /p" "$log"
        sed -n "s/^@@log $c /vm:   | /p" "$log" | head -400
        sed -n "s/^@@dmesg $c /vm:   kernel: /p" "$log" | head -40
        ;;
    esac
    sed -n "s/^@@note $c /vm:   note: /p" "$log"
  done
  if [ $qstatus != 0 ] && ! grep -q '^@@vm end ' "$log"; then
    echo "vm: QEMU ended with status $qstatus before the guest's end (bound $bound s; console in $console)"
    [ $failed -gt 0 ] || failed=1
  fi
}
boot main
# The cases meant for both roads once more, on a kernel without the sg
# module: the block node alone (--no-sg runs every case so).
[ "$no_sg" = 1 ] || boot nosg
# QEMU's own drives, which no one here wrote, on the roads real drives come
# by: two ide-cd on AHCI ports (libata's ATAPI), a scsi-cd behind a usb-bot
# (usb-storage); every command they get is in QEMU's trace. The simulated
# drive joins them as a USB device through dummy_hcd in the cases.
rm -f "$vm/trace-roads.log"
boot roads -device ahci,id=sata \
  -drive if=none,id=sata0,media=cdrom -device ide-cd,drive=sata0,bus=sata.0 \
  -drive if=none,id=sata1,media=cdrom -device ide-cd,drive=sata1,bus=sata.1 \
  -device qemu-xhci,id=xhci -device usb-bot,id=bot,bus=xhci.0 \
  -drive if=none,id=usbcd,media=cdrom -device scsi-cd,drive=usbcd,bus=bot.0 \
  -trace enable=ide_atapi_cmd_packet -trace enable=scsi_req_parsed -D "$vm/trace-roads.log"
# What QEMU's drives received in that boot, by opcode, from QEMU's trace:
# they are no admitted drives, so nothing that writes, ejects or asks for
# the identification text may be among it.
if [ ${#roads[@]} -gt 0 ]; then
  if why=$(python3 - "$vm/trace-roads.log" <<'PY'
import collections, re, sys
deny = {0x04, 0x0A, 0x15, 0x1B, 0x2A, 0x2E, 0x3B, 0x3F, 0x55, 0x5D, 0xAA, 0xB6, 0xF0}
got = {"SATA (ATAPI packets)": collections.Counter(), "USB (usb-bot's SCSI requests)": collections.Counter()}
try:
    lines = open(sys.argv[1], errors="replace").read().splitlines()
except OSError as e:
    print("no trace of QEMU's drives: %s" % e); sys.exit(1)
for line in lines:
    m = re.search(r"ide_atapi_cmd_packet .*packet: ([0-9a-f]{2})", line)
    if m: got["SATA (ATAPI packets)"][int(m.group(1), 16)] += 1
    m = re.search(r"scsi_req_parsed target \d+ lun \d+ tag \d+ command (\d+)", line)
    if m: got["USB (usb-bot's SCSI requests)"][int(m.group(1))] += 1
bad = 0
for road, n in got.items():
    print("QEMU's drives on %s received: %s" % (road, ", ".join("%02Xh x%d" % (o, c) for o, c in sorted(n.items())) or "nothing"))
    for o in sorted(n):
        if o in deny:
            print("FAIL: a command %02Xh reached a QEMU drive on %s" % (o, road)); bad = 1
if not any(got.values()):
    print("FAIL: QEMU's trace shows no command at all"); bad = 1
sys.exit(bad)
PY
  ); then
    passed=$((passed + 1))
    echo "vm: pass qemu-trace"
  else
    failed=$((failed + 1))
    echo "vm: FAIL qemu-trace"
  fi
  echo "$why" | sed 's/^/vm:   note: /'
fi
echo "vm: $(elapsed) s in all ($prep s preparing); console in $vm/console.log"
echo "vm cases: $passed passed, $failed failed${skipped:+, $skipped skipped}"
[ $failed = 0 ]
