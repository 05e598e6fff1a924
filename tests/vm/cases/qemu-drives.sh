# boot: roads
# QEMU's own drives, which no one here wrote: two ide-cd on AHCI ports
# (libata's ATAPI translation) and a scsi-cd behind usb-bot (usb-storage).
# scan lists each with its real identity and type at its own address, the
# same in a second scan with the simulated USB drive beside them; check
# refuses each as a model it does not support. That nothing reaches them
# but reads is QEMU's trace's to show (qemu-trace, on the host).
qemu_listed() { grep -E ' type 05h  QEMU     QEMU (DVD|CD)-ROM ' "$OUT" | awk '{ print $1 }' | tr '\n' ' '; }
cli member scan
expect_status 0
before=$(qemu_listed)
note "scan with QEMU's drives alone: $(tr '\n' '|' <"$OUT")"
set -- $before
[ $# = 3 ] || fail "scan listed $# QEMU drive(s) ($before), want 3"
[ "$(echo $before | tr ' ' '\n' | sort -u | wc -l)" = 3 ] || fail "the QEMU drives' addresses are not distinct: $before"
grep -q admitted "$OUT" && fail "a QEMU drive was listed as admitted"
for a in $before; do
  cli member check /vm/img/new.bin --drive "$a"
  expect_status 2 "a model it does not support, at $a"
  expect_line err "the device at $a, QEMU +QEMU (DVD|CD)-ROM +[^ ,]+, is not a model this updater supports" "refusing the model at $a"
done
note "check of $a said: $(tr '\n' '|' <"$ERR")"
cli member check /vm/img/new.bin
expect_status 2 "no admitted drive"
expect_line err 'no supported drive: found .*QEMU' "saying no supported drive was found, and naming what was"
drive
cli member scan
expect_status 0
[ "$(qemu_listed)" = "$before" ] || fail "the QEMU drives' addresses changed with a USB drive beside them: $before, then $(qemu_listed)"
expect_line out '^[0-9]+:[0-9]+:[0-9]+ +type 05h  KORVELIN DVDRRW MQT-R41A  1\.00  admitted' "listing the USB drive beside them"
note "scan with the USB drive beside them: $(tr '\n' '|' <"$OUT")"
