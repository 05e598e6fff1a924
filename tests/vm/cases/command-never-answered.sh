# A commit the drive never answers, as a hung drive: the library's timeout
# is 2 s (ORVEX_SGIO_TIMEOUT_MS, taken only by a run without raised
# rights: the group member); the kernel's target stack gives up on the
# drive after its cmd_time_out (10 s here). orvex-cli reports a failed
# commit, status 4, and no second commit follows.
update_past_timeout "timeout"
expect_sent commit 1 "no second commit"
expect_once
note "the drive's log from the commit on: $(awk '/ kind=commit / { on = 1 } on' "$WIRE" | tr '\n' '|')"
note "the kernel's lines: $(dmesg | tr '\n' '|')"
note "the device afterwards: state $(cat /sys/block/${SR#/dev/}/device/state)"
