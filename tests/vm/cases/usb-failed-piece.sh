# boot: roads
# A piece the USB drive fails: status 3, no commit.
drive "fault write 7 check 04 44 00"
cli member update /vm/img/new.bin --yes
expect_status 3 "failed before the commit"
expect_sent write 7
expect_sent commit 0
