# A command the drive holds past the library's timeout: the commit takes
# 8 s, the timeout is 2 s (ORVEX_SGIO_TIMEOUT_MS, which only a run without
# raised rights takes: the group member). The kernel's handling reaches the
# drive's log (task management, what it sends after); orvex-cli reports a
# failed commit, status 4, and no second commit follows.
update_past_timeout "slow 8000"
commit=$(awk '/^rx / && / kind=commit / { sub("n=", "", $2); print $2; exit }' "$WIRE")
# The drive finishes the commit it holds; what the kernel does meanwhile and
# after is in its log.
wait_for 20 "end of the held commit" grep -q "^tx n=$commit " "$WIRE"
expect_sent commit 1 "no second commit"
expect_once
note "the drive's log from the commit on: $(awk -v n="n=$commit" '$2 == n { on = 1 } on' "$WIRE" | tr '\n' '|')"
note "the kernel's lines: $(dmesg | tr '\n' '|')"
note "the device afterwards: state $(cat /sys/block/${SR#/dev/}/device/state)"
