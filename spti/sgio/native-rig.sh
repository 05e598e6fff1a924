#!/bin/sh
# The native SG_IO rig: a program that loads libwnaspi32.so reaches the
# simulated drive through the library's own SG_IO road, with no Wine and no
# real drive:
#
#   program -> CMyASPI32 -> libwnaspi32.so -> ioctl(SG_IO) on a device node
#   -> sgio-shim.so (preloaded) -> Unix socket -> sgio-drive (simulated drive)
#
#   native-rig.sh start BUILD RIG CONFIG [TARGET]
#       BUILD   a native build folder (build/native): its spti/sgio/ holds the
#               shim and the drive, its spti/ the library
#       RIG     a folder for the node, the socket and the drive's output
#       CONFIG  a simulated-drive configuration (sim/README.md); its first
#               device answers, reported at target TARGET (default 0)
#     Starts the drive and prints the environment to export, for example
#       eval "$(spti/sgio/native-rig.sh start build/native /tmp/rig drive.cfg 1)"
#     Afterwards ORVEX_SGIO_DENY=1 refuses the node (EACCES) and
#     ORVEX_SGIO_NO_RAWIO=1 refuses firmware commands (EPERM). A handled
#     signal interrupts SG_IO as on the real kernel (ORVEX_SGIO_SIGNALS):
#     with SA_RESTART the drive gets the command again, without it EINTR.
#   native-rig.sh stop RIG
#
# As root the node is a block device borrowing an unbound loop device's
# numbers (none of its requests reach the loop driver), as a drive's is;
# otherwise it is a plain file, which the shim answers for just the same.
set -eu

fail() {
  echo "native-rig: $*" >&2
  exit 1
}

case "${1:-}" in
start)
  [ $# -ge 4 ] || fail "usage: native-rig.sh start BUILD RIG CONFIG [TARGET]"
  build=$(realpath "$2")
  rig=$3
  cfg=$4
  target=${5:-0}
  shim=$build/spti/sgio/sgio-shim.so
  drive=$build/spti/sgio/sgio-drive
  [ -f "$shim" ] && [ -x "$drive" ] && [ -f "$build/spti/libwnaspi32.so" ] ||
    fail "build the native preset first (no shim, drive or library under $build/spti)"
  mkdir -p "$rig"
  rig=$(realpath "$rig")
  node=$rig/sr0
  rm -f "$node"
  made=""
  if [ "$(id -u)" = 0 ]; then
    for b in /sys/block/loop*; do
      if [ -r "$b/size" ] && [ "$(cat "$b/size")" = 0 ]; then
        dev=$(cat "$b/dev")
        mknod "$node" b "${dev%%:*}" "${dev##*:}" 2>/dev/null && made=1
        break
      fi
    done
  fi
  [ -n "$made" ] || : >"$node"

  rm -f "$rig/drive.sock"
  "$drive" "$cfg" "$rig/drive.sock" >"$rig/drive.out" 2>&1 &
  echo $! >"$rig/drive.pid"
  tries=0
  until [ -S "$rig/drive.sock" ]; do
    if ! kill -0 "$(cat "$rig/drive.pid")" 2>/dev/null || [ "$tries" -ge 100 ]; then
      fail "sgio-drive did not start: $(cat "$rig/drive.out")"
    fi
    tries=$((tries + 1))
    sleep 0.1
  done

  node=$(realpath "$node")
  cat <<ENV
export ORVEX_SGIO_NODE='$node'
export ORVEX_SGIO_DEVICES='$node'
export ORVEX_SGIO_SOCKET='$rig/drive.sock'
export ORVEX_SGIO_TARGET='$target'
export ORVEX_SGIO_SIGNALS=1
${made:+export ORVEX_SGIO_BLOCK=1}
export LD_PRELOAD='$shim'
export LD_LIBRARY_PATH='$build/spti'\${LD_LIBRARY_PATH:+:\$LD_LIBRARY_PATH}
export ASAN_OPTIONS=verify_asan_link_order=0\${ASAN_OPTIONS:+:\$ASAN_OPTIONS}
ENV
  ;;
stop)
  [ $# -ge 2 ] || fail "usage: native-rig.sh stop RIG"
  if [ -f "$2/drive.pid" ]; then
    kill "$(cat "$2/drive.pid")" 2>/dev/null || true
    rm -f "$2/drive.pid"
  fi
  ;;
*)
  fail "usage: native-rig.sh start BUILD RIG CONFIG [TARGET] | stop RIG"
  ;;
esac
