# boot: roads
# A USB drive that leaves the bus when the commit arrives, unanswered: the
# commit's outcome is unknown, so status 4 and its advice, never success.
USB_OPTS="--leave-at-commit 1000"
drive
cli member update /vm/img/new.bin --yes
expect_status 4 "the drive left during the commit"
expect_line err 'Do not switch off' "telling what to do"
expect_line err 'CDB 3Bh failed, .*the device has gone' "saying the drive left"
grep -q 'updated the main firmware' "$OUT" && fail "reported the update as completed"
expect_sent commit 1
note "said: $(grep -v 'SG_IO serves' "$ERR" | tr '\n' '|')"
