# boot: roads
# A USB drive whose firmware restarts after the commit: it answers the
# commit, leaves the bus and comes back a moment later as a new device.
# orvex-cli reports the update done; a scan afterwards finds the drive with
# its new revision. Another program keeps the block node open meanwhile, as
# a desktop's disc monitor does, so the old device is not gone when the
# new one comes.
USB_OPTS="--restart-after-commit 1000"
drive
old="$SR $SG"
/vm/bin/vm-probe hold "$SR" ro,nonblock >/dev/null 2>&1 &
holder=$!
cli member update /vm/img/new.bin --yes
expect_status 0 "the commit was answered before the drive left"
expect_line out '^[0-9]+:0:0: updated the main firmware to 1\.10\. Restart the computer' "saying the update is done"
expect_sent commit 1
# It leaves a moment after its answer, which may be after orvex-cli ended.
wait_for 10 "line of the drive leaving the bus after the commit" grep -q '^bus .* leaves after the commit' "$WIRE"
usb_nodes 20 && note "the drive came back: $old before, $SR $SG after ($(readlink -f /sys/block/${SR#/dev/}/device | sed 's|.*/host|host|; s|/target.*||'))"
cli root scan
expect_status 0
expect_line out '^[0-9]+:0:0 .*KORVELIN DVDRRW MQT-R41A  1\.10  admitted' "finding the drive again with its new revision"
note "scan after the restart: $(tr '\n' '|' <"$OUT")"
kill -TERM $holder
wait $holder
