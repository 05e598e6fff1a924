# boot: roads
# The simulated drive as a USB mass-storage device (usb-storage over
# dummy_hcd): scan and check as root and as a group member; nothing but
# reads reaches it. Notes the kernel's own requests as the device came.
drive
note "the kernel's requests as the USB drive came: $(kernel_requests); control requests: $(grep '^ctl .*request=' "$WIRE" | awk '{ print $3, $4 }' | sort | uniq -c | tr -s ' ' | tr '\n' ',')"
note "$(road_facts "$SR")"
: >"$WIRE"
for who in root member; do
  cli $who scan
  expect_status 0
  expect_line out '^[0-9]+:0:0 +type 05h  KORVELIN DVDRRW MQT-R41A  1\.00  admitted, model code 16$' "listing the USB drive ($who)"
  cli $who check /vm/img/new.bin
  expect_status 0 "the image fits the drive"
done
expect_sent write 0
expect_sent commit 0
note "the kernel's own requests during two scans and two checks: $(kernel_requests)"
