# scan as root and as a member of the drive's group: the drive at the
# address the kernel gives it, admitted, with its model code; nothing but
# INQUIRY reaches it.
drive
for who in root member; do
  cli $who scan
  expect_status 0
  expect_line out '^0:1:0 +type 05h  KORVELIN DVDRRW MQT-R41A  1\.00  admitted, model code 16$' "listing the drive ($who)"
done
expect_sent write 0
expect_sent commit 0
note "the kernel's own requests while the drive was listed twice: $(kernel_requests)"
