# road: both
# The lock file between users. A group member's update makes it for the
# drive's group alone (mode 660). A user without access to the drive who
# makes it first and keeps it locked gets a member's update refused, with
# the file's owner named; root's update puts a file of its own in its place
# and goes on, and that user cannot open the new one.
note "road: $(road)"
LOCK=$(lock_file)
stranger="/usr/bin/setpriv --reuid=1001 --regid=1001 --clear-groups --"
drive
rm -f "$LOCK"
if [ -n "$SG" ]; then
  # Without sg a member cannot send firmware commands to the block node.
  cli member update /vm/img/new.bin --yes
  expect_status 0 "the member's update"
  [ "$(stat -c '%u:%g %a' "$LOCK")" = "1000:24 660" ] || fail "the member made $(stat -c '%u:%g %a' "$LOCK"), want 1000:24 660"
  $stranger /usr/bin/flock -n "$LOCK" true 2>/dev/null && fail "the stranger could open the member's lock file"
  rm -f "$LOCK"
fi
# -F: the lock is held by the process started here.
$stranger /usr/bin/flock -F "$LOCK" sleep 60 &
holder=$!
wait_for 5 "the stranger's lock file" test -e "$LOCK"
made=$(stat -c '%u:%g %a' "$LOCK")
said=
if [ -n "$SG" ]; then
  cli member update /vm/img/newer.bin --yes
  expect_status 2 "the member refused while the stranger holds the lock file"
  expect_line err 'belongs to user 1001' "naming the lock file's owner"
  said=$(grep 'belongs to' "$ERR" | head -1)
fi
cli root update /vm/img/newer.bin --yes
expect_status 0 "root's update while the stranger still holds its file"
[ "$(stat -c '%u:%g %a' "$LOCK")" = "0:24 660" ] || fail "after root's update the lock file is $(stat -c '%u:%g %a' "$LOCK"), want 0:24 660"
$stranger /usr/bin/flock -n "$LOCK" true 2>/dev/null && fail "the stranger can open root's lock file"
kill -KILL "$holder"
wait "$holder"
note "the stranger's file was $made; ${said:+the member was told: $said; }root's is $(stat -c '%u:%g %a' "$LOCK")"
