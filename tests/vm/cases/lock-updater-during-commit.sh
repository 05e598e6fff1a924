# road: both
# An updater with 1.10 started while another commits 1.20 (the commit takes
# 3 s): it is refused (status 2), it writes nothing, the first completes
# with one commit, and the drive keeps 1.20.
note "road: $(road)"
drive "fault commit 1 slow 3000"
cli_start root update /vm/img/newer.bin --yes
first=$CLI_PID
wait_sent commit 1 60
cli root update /vm/img/new.bin --yes
expect_status 2 "refused"
second=$ERR
wait "$first"
s1=$?
[ "$s1" = 0 ] || fail "the first update: status $s1"
expect_sent commit 1
expect_sent write 208
expect_once
cli root scan
expect_line out 'DVDRRW MQT-R41A  1\.20' "no downgrade"
note "the second said: $(tail -1 "$second")"
