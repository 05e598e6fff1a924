# What the kernel's nodes do, measured for the updater's locking, rights and
# signals (noted, not judged): exclusive opens of /dev/sg* and /dev/sr*, a
# mount against an exclusive open, which opens may send WRITE BUFFER without
# a capability, and a handled signal during a blocking SG_IO.
drive
P=/vm/bin/vm-probe
hold() {
  $P hold "$1" "$2" >"$CASE_DIR/hold.out" 2>&1 &
  HOLD=$!
  wait_for 5 "hold of $1 ($2)" grep -q held "$CASE_DIR/hold.out" || { kill $HOLD; wait $HOLD; return 1; }
}
release() {
  kill $HOLD
  wait $HOLD
}
try() { $P open "$@"; }
# A blocking open that waits is stopped after 2 s.
try_blocking() {
  timeout 2 $P open "$@"
  [ $? -lt 124 ] || echo "waits (still blocked after 2 s)"
}
mkdir -p /mnt
if hold $SG rw,excl,nonblock; then
  note "with O_EXCL|O_NONBLOCK held on $SG: another O_EXCL|O_NONBLOCK open: $(try $SG rw,excl,nonblock); a plain O_NONBLOCK open: $(try $SG rw,nonblock); a plain blocking open: $(try_blocking $SG rw); O_EXCL|O_NONBLOCK on $SR: $(try $SR ro,excl,nonblock)"
  release
fi
if hold $SG rw,nonblock; then
  note "with a plain open held on $SG: O_EXCL|O_NONBLOCK: $(try $SG rw,excl,nonblock); O_EXCL blocking: $(try_blocking $SG rw,excl)"
  release
fi
if hold $SR ro,excl,nonblock; then
  note "with O_EXCL|O_NONBLOCK held on $SR: another O_EXCL open of $SR: $(try $SR ro,excl,nonblock); a plain open of $SR: $(try $SR ro,nonblock); O_EXCL on $SG: $(try $SG rw,excl,nonblock); mount $SR: $(mount -t iso9660 -o ro $SR /mnt 2>&1 | tr '\n' ' ')"
  release
fi
note "mount $SR with nothing held (no disc): $(mount -t iso9660 -o ro $SR /mnt 2>&1 | tr '\n' ' ')"
wb=3B06000000000000000000
m=/usr/bin/setpriv
as_member="$m --reuid=1000 --regid=1000 --groups=24 --inh-caps=-all --"
note "WRITE BUFFER (no data) as a group member without capabilities: $SG read-write: $($as_member $P sgio $SG rw,nonblock $wb); $SG read-only: $($as_member $P sgio $SG ro,nonblock $wb); $SR read-write: $($as_member $P sgio $SR rw,nonblock $wb); as root, $SG read-only: $($P sgio $SG ro,nonblock $wb)"
# A TEST UNIT READY the drive holds 1.5 s, SIGUSR1 after it arrived.
for how in intr restart; do
  drive "fault tur 1 slow 1500"
  $P sgio $SG rw,nonblock,$how 00000000000000 >"$CASE_DIR/sig.out" &
  probe=$!
  wait_sent tur 1 10 && kill -USR1 $probe
  wait $probe
  wait_for 5 "the held TEST UNIT READY's end" grep -q '^tx n=1 ' "$WIRE"
  note "SIGUSR1 handled $([ $how = intr ] && echo without || echo with) SA_RESTART during a SG_IO the drive holds 1.5 s: $(cat "$CASE_DIR/sig.out"); the drive got $(sent tur) TEST UNIT READY"
done
[ -x $P ] || fail "no probe"
