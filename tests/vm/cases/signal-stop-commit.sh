# The process stopped (SIGSTOP, as Ctrl-Z's SIGTSTP or a freezer would)
# while the drive commits, then continued: no signal a program can block,
# yet the commit must reach the drive once, and the result is reported.
drive "fault commit 1 slow 3000"
cli_start root update /vm/img/new.bin --yes
wait_sent commit 1 60
kill -STOP "$CLI_PID"
wait_for 10 "the updater stopped" sh -c "grep -q '^State:.*T' /proc/$CLI_PID/status"
kill -CONT "$CLI_PID"
cli_wait
expect_status 0 "the commit completes and is reported"
expect_sent commit 1 "one commit, whatever stopped the program"
expect_once
note "stopped and continued during the commit: status $STATUS, $(sent commit) commit(s)"
