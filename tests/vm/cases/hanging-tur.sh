# TEST UNIT READY never answered (a hung drive): the disc check fails, the
# update ends before the first piece, status 3. The library's timeout is
# 2 s (ORVEX_SGIO_TIMEOUT_MS, taken by the group member's run).
drive "fault tur * timeout"
start=$(now)
CLI_ENV=ORVEX_SGIO_TIMEOUT_MS=2000
cli member update /vm/img/new.bin --yes
CLI_ENV=
expect_status 3 "failed before any write"
expect_sent write 0
expect_sent commit 0
note "orvex-cli ended $(since "$start") s after its start; said: $(grep -v 'SG_IO serves' "$ERR" | tr '\n' '|')"
