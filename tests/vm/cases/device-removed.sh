# The drive removed during the transfer (its LUN unlinked from the loopback
# target, as when a drive is unplugged): status 3, no commit; the drive
# comes back when linked again.
drive "latency 10"
cli_start root update /vm/img/new.bin --yes
wait_sent write 30 60
start=$(now)
detach
note "unlinking the LUN took $(since "$start") s; $SR is $([ -e "$SR" ] && echo still there || echo gone)"
cli_wait
expect_status 3 "failed before the commit"
expect_sent commit 0
expect_once
note "orvex-cli after $(sent write) pieces, status $STATUS, said: $(grep -v 'pass-through serves' "$ERR" | tr '\n' '|')"
note "the kernel's lines: $(dmesg | tr '\n' '|')"
attach
note "linked again: $SR $SG"
cli root scan
expect_line out '^0:1:0 .*KORVELIN' "listing the drive again"
