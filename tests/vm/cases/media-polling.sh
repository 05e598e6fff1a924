# The kernel's own media polling every 100 ms (what desktops set in
# /sys/block/srN/events_poll_msecs) during a whole update: the update still
# completes with one commit, and the kernel's requests sit between the
# pieces.
drive
echo 100 >/sys/block/${SR#/dev/}/events_poll_msecs
wait_for 5 "the kernel's first poll" sh -c "grep -q '^rx ' '$WIRE'"
before=$(all_sent)
cli root update /vm/img/new.bin --yes
expect_status 0
expect_pieces new
expect_sent commit 1
note "$before request(s) before the update; during it the drive got $(sent tur) TEST UNIT READY in all, others: $(kernel_requests)"
