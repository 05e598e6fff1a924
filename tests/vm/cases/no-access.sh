# A user without access to the drive's nodes (no group, not root): refused
# in one line that names what is missing, and nothing reaches the drive.
drive
for args in scan "update /vm/img/new.bin --yes"; do
  cli stranger $args
  [ "$STATUS" = 69 ] || [ "$STATUS" = 2 ] || fail "orvex-cli $args as a user without access: status $STATUS, want 69 (no transport) or 2"
  lines=$(grep -c 'cdrom' "$ERR")
  [ "$lines" = 1 ] || fail "orvex-cli $args: $lines lines on stderr name group cdrom, want one"
  note "orvex-cli $args as a user without access, status $STATUS, said: $(tr '\n' '|' <"$ERR")"
done
[ "$(all_sent)" = 0 ] || fail "$(all_sent) request(s) reached the drive for a user without access"
