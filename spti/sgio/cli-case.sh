#!/bin/sh
# orvex-cli over SG_IO on the native rig, its default transport on Linux: a
# whole update with --yes, checked piece by piece against the image in the
# drive's log, with a Ctrl-C while the drive holds the commit (the rig's
# SG_IO is interrupted by any handled signal, as the kernel's is: one that
# reached the request would send the commit twice), then a new scan with
# the new revision; and the one line each
# that a machine without rights or without CAP_SYS_RAWIO gets.
#
#   cli-case.sh BUILD      (run by ctest as cli_sgio_update)
set -eu
here=$(dirname "$(realpath "$0")")
build=$(realpath "$1")
cli=$build/cli/orvex-cli
rig=$(mktemp -d "${TMPDIR:-/tmp}/orvex-cli-sgio.XXXXXX")
trap '"$here/native-rig.sh" stop "$rig"; rm -rf "$rig"' EXIT
# The updaters' lock files: the rig's own, not the machine's /run/lock.
export ORVEX_LOCK_DIR="$rig"
failed=0
fail() {
  echo "FAIL $*"
  failed=1
}

cat >"$rig/drive.cfg" <<CFG
log $rig/drive.log
flash $rig/flash.txt
device 0 1 0
vendor "KORVELIN"
product "DVDRRW MQT-R41A "
revision "1.00"
idtext "ID5678"
fault commit 1 slow 2000
CFG
"$build/tools/orvex-imagegen" "$rig/new.bin" \
  --identity 0x150000 KORVELIN "DVDRRW MQT-R41A " 1.10 --text 0x160000 ID5678 >/dev/null
eval "$("$here/native-rig.sh" start "$build" "$rig" "$rig/drive.cfg" 1)"

# A background job of a script starts with SIGINT ignored: give it back.
env --default-signal=INT "$cli" update "$rig/new.bin" --yes >"$rig/update.out" 2>"$rig/update.err" &
pid=$!
tries=0
until grep -q 'cdb=3B07' "$rig/drive.log" 2>/dev/null || [ "$tries" -ge 300 ]; do
  tries=$((tries + 1))
  sleep 0.1
done
kill -INT "$pid" 2>/dev/null || fail "the update ended before its commit reached the drive"
status=0
wait "$pid" || status=$?
[ "$status" = 0 ] || fail "update --yes: status $status: $(cat "$rig/update.out" "$rig/update.err")"
grep -q 'Ctrl-C (SIGINT) is held off' "$rig/update.err" || fail "no held line: $(cat "$rig/update.err")"

# Every piece as the image holds it: the drive's log gives each piece's
# offset (CDB bytes 3-5) and the byte sum of what arrived.
python3 - "$rig/new.bin" "$rig/drive.log" <<'PY' || failed=1
import re, sys
image = open(sys.argv[1], 'rb').read()
pieces = 0
for line in open(sys.argv[2]):
    m = re.search(r'buflen=(\d+) .*cdb=3B06..(......).*datasum=([0-9A-F]{8})', line)
    if not m:
        continue
    length, offset, got = int(m.group(1)), int(m.group(2), 16), int(m.group(3), 16)
    want = sum(image[offset:offset + length]) & 0xFFFFFFFF
    if length != 8192 or got != want:
        print("FAIL piece at %06X: %d bytes summing to %08X, the image's %08X" % (offset, length, got, want))
        sys.exit(1)
    pieces += 1
if pieces != 208:
    print("FAIL %d pieces reached the drive, not 208" % pieces)
    sys.exit(1)
PY
commits=$(grep -c 'cdb=3B07' "$rig/drive.log" || true)
[ "$commits" = 1 ] || fail "$commits commits reached the drive, not one"

"$cli" scan >"$rig/scan.out" 2>&1 || fail "scan after the update: $(cat "$rig/scan.out")"
grep -q '^0:1:0 .*KORVELIN DVDRRW MQT-R41A  1.10' "$rig/scan.out" || fail "scan shows no 1.10: $(cat "$rig/scan.out")"

# No rights on the node: the library's line names the way out, the
# command ends with "no transport".
status=0
ORVEX_SGIO_DENY=1 "$cli" scan >"$rig/deny.out" 2>&1 || status=$?
[ "$status" = 69 ] || fail "scan without rights: status $status, want 69"
grep -Eq 'cdrom|needs root' "$rig/deny.out" || fail "scan without rights says nothing of the rights it needs: $(cat "$rig/deny.out")"

# A block node without CAP_SYS_RAWIO: the identification query is refused,
# so the image is refused before any write, and the library says how to
# reach the drive through its generic node. (As root the rig's node is a
# block node.)
if [ -n "${ORVEX_SGIO_BLOCK:-}" ]; then
  before=$(grep -c 'cdb=3B' "$rig/drive.log")
  status=0
  ORVEX_SGIO_NO_RAWIO=1 "$cli" update "$rig/new.bin" --yes >"$rig/rawio.out" 2>&1 || status=$?
  [ "$status" = 2 ] || fail "update on a block node without CAP_SYS_RAWIO: status $status, want 2"
  grep -q 'modprobe sg' "$rig/rawio.out" || fail "no word on the sg driver: $(cat "$rig/rawio.out")"
  [ "$(grep -c 'cdb=3B' "$rig/drive.log")" = "$before" ] || fail "a write reached the drive without CAP_SYS_RAWIO"
fi

[ "$failed" = 0 ] && echo "orvex-cli over SG_IO: all cases passed"
exit "$failed"
