# The second boot (orvex.boot=roads), sourced after lib.sh: the roads real
# drives come by. QEMU's own drives sit on SATA (ide-cd on AHCI: libata's
# ATAPI translation) and USB (scsi-cd behind usb-bot: usb-storage); the
# simulated drive is a USB mass-storage device (sim/usbgadget/sim-usbgadget
# over FunctionFS, bound to dummy_hcd's device controller), which the
# kernel's usb-storage finds as it finds an external writer. `drive` here
# starts that device, so lib.sh's checks and signal helpers serve it too.

GADGET=/sys/kernel/config/usb_gadget/orvex
FFS=/dev/ffs-drive
UDC=dummy_udc.0
USB_HANDLER=/vm/bin/sim-usbgadget
# Options of the next `drive` (--restart-after-commit MS, --leave-at-commit MS).
USB_OPTS=

# nodes_under PATTERN: SR and SG of the first CD/DVD drive whose device path
# in sysfs holds PATTERN (dummy_hcd, ata, usb).
nodes_under() {
  local b
  for b in /sys/block/sr*; do
    [ -d "$b" ] || continue
    case $(readlink -f "$b/device") in
      *"$1"*) ;;
      *) continue ;;
    esac
    SR=/dev/${b##*/}
    SG=$(ls "$b/device/scsi_generic" 2>/dev/null)
    [ -n "$SG" ] && SG=/dev/$SG && [ -b "$SR" ] && [ -c "$SG" ] && return 0
  done
  return 1
}
usb_gone() { ! nodes_under dummy_hcd; }
usb_here() { nodes_under dummy_hcd; }

# usb_nodes SECONDS: until the USB drive's nodes are there; they get what
# Debian's udev rules give a CD/DVD drive.
usb_nodes() {
  wait_for "$1" "the USB drive's /dev/sr* with its /dev/sg*" usb_here || return 1
  chgrp 24 "$SR" "$SG"
  chmod 660 "$SR" "$SG"
}

# A configfs gadget with one FunctionFS function; sim-usbgadget writes its
# descriptors and binds it to the controller.
make_gadget() {
  mount -t configfs configfs /sys/kernel/config 2>/dev/null
  mkdir -p $GADGET/strings/0x409 $GADGET/configs/c.1/strings/0x409 $GADGET/functions/ffs.drive || return 1
  echo 0x1d6b >$GADGET/idVendor
  echo 0x0104 >$GADGET/idProduct
  echo 0x0200 >$GADGET/bcdUSB
  echo KORVELIN >$GADGET/strings/0x409/manufacturer
  echo "Orvex simulated drive" >$GADGET/strings/0x409/product
  echo 0001 >$GADGET/strings/0x409/serialnumber
  echo "mass storage" >$GADGET/configs/c.1/strings/0x409/configuration
  ln -s $GADGET/functions/ffs.drive $GADGET/configs/c.1/
  mkdir -p $FFS
  mount -t functionfs drive $FFS
}

# drive [LINE...]: the simulated drive as a fresh USB device (base
# configuration and LINEs, USB_OPTS), its log emptied, its nodes made by
# the kernel.
drive() {
  stop_drive
  mkdir -p "$CASE_DIR"
  { base_config; for line in "$@"; do echo "$line"; done; } >"$CASE_DIR/drive.cfg"
  WIRE=$CASE_DIR/wire.log
  : >"$WIRE"
  $USB_HANDLER $FFS $GADGET $UDC "$CASE_DIR/drive.cfg" "$WIRE" $USB_OPTS >"$CASE_DIR/handler.out" 2>&1 &
  DRIVE_PID=$!
  wait_for 5 "drive handler" grep -q serving "$CASE_DIR/handler.out" && usb_nodes 20
}

# The device leaves the bus, then its program ends.
stop_drive() {
  [ -n "$DRIVE_PID" ] || return 0
  echo >$GADGET/UDC 2>/dev/null
  kill -TERM "$DRIVE_PID" 2>/dev/null
  wait "$DRIVE_PID"
  DRIVE_PID=
  wait_for 10 "the USB drive gone" usb_gone
}

# qemu_drives: SR SG per QEMU drive, one line each: "node generic vendor
# product revision path-tail".
qemu_drives() {
  local b s g
  for b in /sys/block/sr*; do
    case $(readlink -f "$b/device") in *dummy_hcd*) continue ;; esac
    s=${b##*/}
    g=$(ls "$b/device/scsi_generic" 2>/dev/null)
    echo "/dev/$s /dev/$g $(cat "$b/device/vendor") $(cat "$b/device/model") $(cat "$b/device/rev")"
  done
}

# road_facts NODE: what the kernel's road allows a request (the queue's
# limits) and where it sits.
road_facts() {
  local q=/sys/block/${1#/dev/}/queue
  echo "$1 on $(readlink -f /sys/block/${1#/dev/}/device | sed 's|/sys/devices/||; s|/target.*||'): max_hw_sectors_kb $(cat $q/max_hw_sectors_kb), max_sectors_kb $(cat $q/max_sectors_kb), max_segments $(cat $q/max_segments)"
}

run_road_case() {
  CASE=$1
  CASE_DIR=/tmp/case/$CASE
  FAILS=0
  CLI_N=0
  STATUS=
  mkdir -p "$CASE_DIR"
  WIRE=$CASE_DIR/wire.log
  : >"$WIRE"
  : >"$CASE_DIR/handler.out"
  local start
  start=$(now)
  say "case $CASE start"
  dmesg -c >/dev/null
  . "/vm/cases/$CASE.sh"
  dmesg -c | sed "s/^/@@dmesg $CASE /"
  USB_OPTS=
  if [ "$FAILS" = 0 ]; then
    say "case $CASE pass $(since "$start") s"
  else
    show_transcript
    say "case $CASE fail $(since "$start") s"
  fi
  stop_drive
}

roads_main() {
  local start m
  start=$(now)
  CASE=boot
  CASE_DIR=/tmp/case/boot
  lock_dir
  load_modules
  for m in $(cat /vm/modules-roads.list); do
    insmod "/vm/modules/$m.ko" || say "vm fatal insmod $m failed"
  done
  make_gadget || say "vm fatal no configfs gadget"
  # QEMU's three drives: two on SATA, one behind USB.
  wait_for 30 "QEMU's three drives" sh -c '[ $(ls -d /sys/block/sr* 2>/dev/null | wc -l) -ge 3 ]' ||
    { say "vm fatal QEMU's drives did not attach: $(ls /sys/block)"; return; }
  for m in /sys/block/sr*; do
    chgrp 24 /dev/${m##*/} /dev/$(ls $m/device/scsi_generic)
    chmod 660 /dev/${m##*/} /dev/$(ls $m/device/scsi_generic)
  done
  nodes_under / # SG names the drives' group for `cli member`
  say "vm ready at $(now) s of uptime ($(since "$start") s for modules and drives): $(qemu_drives | tr '\n' ';')"
  for m in /sys/block/sr*; do say "vm attach $(road_facts /dev/${m##*/})"; done
  for c in $(cat /vm/cases-roads.list); do
    run_road_case "$c"
  done
  say "vm end at $(now) s"
}
