# road: both
# Two updaters started apart: the first writes 1.20; the second, with 1.10,
# starts while the first writes. The second is refused at once (status 2);
# the wire has one run of pieces and one commit, and the drive keeps 1.20.
note "road: $(road)"
drive "latency 5"
cli_start root update /vm/img/newer.bin --yes
first=$CLI_PID
wait_sent write 1 60
cli root update /vm/img/new.bin --yes
expect_status 2 "another update is running"
second=$ERR
wait "$first"
s1=$?
[ "$s1" = 0 ] || fail "the first update: status $s1"
expect_sent commit 1
expect_once
expect_pieces newer
cli root scan
expect_line out 'DVDRRW MQT-R41A  1\.20' "the drive keeps 1.20"
note "the second said: $(tail -1 "$second"); the lock file: $(stat -c '%n %u:%g %a' "$(lock_file)")"
