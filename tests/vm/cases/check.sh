# check as root and as a group member: what an update would do, and no
# write reaches the drive.
drive
for who in root member; do
  cli $who check /vm/img/new.bin
  expect_status 0
  expect_line out '^0:1:0: an update would write the main firmware: ' "naming the update ($who)"
  expect_line out '-> KORVELIN DVDRRW MQT-R41A  1\.10$' "naming the new revision ($who)"
done
expect_sent write 0
expect_sent commit 0
expect_sent commit-ws 0
