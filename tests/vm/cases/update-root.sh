# A whole main update as root: every piece at its offset with the image's
# bytes, exactly one commit (WRITE BUFFER mode 07h), and a new scan shows the
# new revision.
drive
start=$(now)
cli root update /vm/img/new.bin --yes
expect_status 0
expect_line out '^0:1:0: updated the main firmware to 1\.10\. Restart the computer' "saying the update is done"
expect_pieces new
expect_sent commit 1
expect_sent commit-ws 0
note "a whole update took $(since "$start") s; the kernel's own requests meanwhile: $(kernel_requests)"
cli root scan
expect_status 0
expect_line out '^0:1:0 .*KORVELIN DVDRRW MQT-R41A  1\.10  admitted' "showing the new revision"
