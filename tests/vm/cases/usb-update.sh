# boot: roads
# A whole main update of the USB drive as a group member: every piece's
# bytes at its offset, one commit, and a new scan with the new revision.
drive
: >"$WIRE"
start=$(now)
cli member update /vm/img/new.bin --yes
expect_status 0
expect_line out '^[0-9]+:0:0: updated the main firmware to 1\.10\. Restart the computer' "saying the update is done"
expect_pieces new
expect_sent commit 1
note "a whole update over USB took $(since "$start") s; the kernel's own requests meanwhile: $(kernel_requests)"
cli member scan
expect_line out '^[0-9]+:0:0 .*KORVELIN DVDRRW MQT-R41A  1\.10  admitted' "showing the new revision"
