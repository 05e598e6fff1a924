# A piece the drive refuses (the 100th): status 3, nothing after it, no
# commit.
drive "fault write 100 check 04 08 00"
cli root update /vm/img/new.bin --yes
expect_status 3 "failed before the commit"
expect_sent write 100
expect_sent commit 0
expect_once
expect_line err 'keeps its firmware' "saying the drive keeps its firmware"
