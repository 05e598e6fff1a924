# A commit the drive never answers, as a hung drive: the library's timeout
# is 2 s (ORVEX_SGIO_TIMEOUT_MS, taken only by a run without raised
# rights: the group member); the kernel's target stack gives up on the
# drive after its cmd_time_out (10 s here). orvex-cli reports a failed
# commit, status 4, and no second commit follows.
drive "fault commit 1 timeout"
start=$(now)
CLI_ENV=ORVEX_SGIO_TIMEOUT_MS=2000
cli member update /vm/img/new.bin --yes
CLI_ENV=
took=$(since "$start")
expect_status 4 "failed during the commit"
expect_line err 'Do not switch off' "telling what to do"
note "orvex-cli ended $took s after its start; said: $(grep -v 'pass-through serves' "$ERR" | tr '\n' '|')"
expect_sent commit 1 "no second commit"
expect_once
note "the drive's log from the commit on: $(awk '/ kind=commit / { on = 1 } on' "$WIRE" | tr '\n' '|')"
note "the kernel's lines: $(dmesg | tr '\n' '|')"
note "the device afterwards: state $(cat /sys/block/${SR#/dev/}/device/state)"
