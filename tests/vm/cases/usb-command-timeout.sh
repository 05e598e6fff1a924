# boot: roads
# The USB drive holds the commit 8 s past the library's 2 s timeout:
# usb-storage aborts the command and resets the transport; the drive drops
# the answer of the command from before the reset. Status 4 with the
# advice, no second commit; what the reset looked like to the drive is
# noted.
update_past_timeout "slow 8000"
expect_sent commit 1
wait_for 15 "the drive's end of the held commit" grep -q '^tx .*dropped\|^rx .*dropped' "$WIRE"
note "what the drive saw from the timeout on: $(awk '/kind=commit / { on = 1 } on && !/ kind=write / && !/^tx .* status=00 /' "$WIRE" | cut -d' ' -f1-6 | head -12 | tr '\n' '|')"
usb_here || fail "the drive was not there after the reset"
cli root scan
expect_line out '^[0-9]+:0:0 .*KORVELIN DVDRRW MQT-R41A  1\.10  admitted' "the drive answering after the reset, with the commit it finished"
