# boot: roads
# A commit the USB drive fails: status 4, the one commit, and the advice.
drive "fault commit 1 check 04 44 00"
cli member update /vm/img/new.bin --yes
expect_status 4 "failed during the commit"
expect_pieces new
expect_sent commit 1
expect_line err 'Do not switch off' "telling what to do"
