#!/bin/sh
# libwnaspi32.so through CMyASPI32 natively, on the native rig: a scan and a
# WRITE BUFFER piece that the simulated drive must have received, then the
# refusals a real machine gives (no rights on the node, no CAP_SYS_RAWIO, a
# node that is no SCSI device, no node at all), each with its line.
#
#   native-case.sh BUILD      (run by ctest as sgio_native_stack)
set -eu
here=$(dirname "$(realpath "$0")")
build=$(realpath "$1")
check=$build/spti/sgio/sgio-stack-check
rig=$(mktemp -d "${TMPDIR:-/tmp}/orvex-sgio.XXXXXX")
trap '"$here/native-rig.sh" stop "$rig"; rm -rf "$rig"' EXIT
failed=0

cat >"$rig/drive.cfg" <<CFG
log $rig/drive.log
device 0 1 0
vendor KORVELIN
product "DVDRRW M1"
revision 1.00
disc yes
CFG
eval "$("$here/native-rig.sh" start "$build" "$rig" "$rig/drive.cfg" 1)"

# run NAME MODE [VAR=VALUE...]: the check program's output in $rig/NAME.out, .err
run() {
  name=$1
  mode=$2
  shift 2
  env "$@" "$check" "$mode" >"$rig/$name.out" 2>"$rig/$name.err" || {
    echo "FAIL $name: the check program failed"
    cat "$rig/$name.err"
    failed=1
  }
}
# expect NAME FILE TEXT: FILE (out or err) of NAME holds TEXT
expect() {
  if grep -qF -- "$3" "$rig/$1.$2"; then return 0; fi
  echo "FAIL $1: no \"$3\" in its standard $( [ "$2" = out ] && echo output || echo error):"
  sed 's/^/  /' "$rig/$1.out" "$rig/$1.err"
  failed=1
}

run update piece
expect update out "status=0"
expect update out "scan=0 drives=1"
expect update out 'drive=0:1:0 "KORVELIN" "DVDRRW M1       " "1.00"'
expect update out "write=0"
expect update out "read=0"
sent=$(sed -n 's/.*sent-sum=\([0-9A-F]*\).*/\1/p' "$rig/update.out")
expect update out "drive-sum=$sent"
# The drive's own log: the piece arrived whole, and nothing was padded.
if ! grep -q "flags=10 buflen=8192 .*cdb=3B06.*datasum=$sent" "$rig/drive.log"; then
  echo "FAIL update: the drive logged no 8192-byte WRITE BUFFER piece summing to $sent"
  cat "$rig/drive.log"
  failed=1
fi
grep -q "cdblen=7 cdb=3C0403" "$rig/drive.log" || {
  echo "FAIL update: the 7-byte READ BUFFER did not reach the drive as it was"
  failed=1
}

run denied scan ORVEX_SGIO_DENY=1
expect denied out "status=10068"
expect denied err "libwnaspi32 (SG_IO): $ORVEX_SGIO_NODE could not be opened (EACCES"
expect denied err "none could be opened"

# Only a block node asks for CAP_SYS_RAWIO; the rig makes one as root.
if [ -n "${ORVEX_SGIO_BLOCK:-}" ]; then
  run norawio piece ORVEX_SGIO_NO_RAWIO=1
  expect norawio out "drives=1"
  expect norawio out "write=-1437226411"
  expect norawio err "WRITE BUFFER (3Bh) was refused on the block node"
  expect norawio err "modprobe sg"
else
  echo "norawio: not run (not root, so the node is no block node)"
fi

run notsg scan ORVEX_SGIO_DEVICES=/dev/null
expect notsg out "scan=10261 drives=0"
expect notsg err "/dev/null: not a SCSI generic device (ENOTTY"

run nonode scan ORVEX_SGIO_DEVICES="$rig/absent"
expect nonode out "drives=0"
expect nonode err "$rig/absent: no device (ENOENT"

[ "$failed" = 0 ] && echo "sgio native stack: all cases passed"
exit "$failed"
