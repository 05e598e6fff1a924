# The firmware zone's checksum after a write-strategy commit comes back
# with good status and half its bytes (the kernel's residual count says
# so): the zone check fails, status 4, never "FW Zone Checksum is OK".
# The read before the update answering one byte stops it before any piece.
# (A good answer of no bytes cannot be told from a whole one behind the
# kernel's target stack: it completes a zero read length as the full one.)
drive "fault readzone 2+ half"
cli root update /vm/img/ws.bin --write-strategy --yes
expect_status 4 "the zone check failed"
expect_sent commit-ws 1
expect_line err "firmware zone's checksum after the write strategy differs" "the zone check's own line"
grep -q 'Checksum is OK' "$OUT" "$ERR" && fail "a zone answer that did not arrive was taken"
note "after the commit: $(sent readzone) zone reads; said: $(tail -1 "$ERR")"
drive "fault readzone 1+ short 1"
cli root update /vm/img/ws.bin --write-strategy --yes
expect_status 3 "failed before any write"
expect_sent write 0
expect_sent commit-ws 0
