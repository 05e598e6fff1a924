# A write-strategy update as root: the pieces of the image, its own commit
# (WRITE BUFFER mode 07h with 02h in the last byte) and no main commit, the
# firmware zone's checksum read before and after.
drive
cli root update /vm/img/ws.bin --write-strategy --yes
expect_status 0
expect_pieces ws
expect_sent commit-ws 1
expect_sent commit 0
expect_sent readzone 2 "before and after the commit"
