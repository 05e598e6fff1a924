# A second `orvex-cli update --yes` while the first one's commit is slow:
# the first holds /dev/sg0 exclusively, so the second cannot even open it.
# It names the drive and says another update is running (status 2), sends
# nothing, and the first completes with one commit.
drive "fault commit 1 slow 3000"
cli_start root update /vm/img/new.bin --yes
first=$CLI_PID first_n=$CLI_N
wait_sent commit 1 60
before=$(all_sent)
cli root update /vm/img/new.bin --yes
expect_status 2 "another update is running"
expect_line err '/dev/sr0 \(/dev/sg0\): another update is running on this drive' "naming the drive"
expect_line err 'refused: another update is running on the drive named above: nothing was sent' "saying why it stopped"
[ "$(all_sent)" = "$before" ] || fail "the second updater's requests reached the drive"
wait "$first"
s1=$?
[ "$s1" = 0 ] || fail "the first update: status $s1"
expect_sent commit 1
expect_once
note "the second updater said: $(tr '\n' '|' <"$ERR")"
