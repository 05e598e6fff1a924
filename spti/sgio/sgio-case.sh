# Helpers for the end-to-end cases of the pass-through library, sourced by a
# case file (see tests/e2e/README.md for the case format). sgio_setup
# reaches a simulated drive through Wine's own SG_IO road:
#
#   Orvex.exe -> wnaspi32.dll (spti) -> IOCTL_SCSI_PASS_THROUGH_DIRECT on D:
#   -> Wine -> ioctl(SG_IO) on D:'s device node -> SgioShim.c (preloaded)
#   -> Unix socket -> SgioDrive (the simulated drive model)
#
# Needs root (for the device node), an unbound loop device (whose numbers
# the node borrows; no request reaches its driver), gcc able to compile
# for i386 and g++. The case must set CASE_PRISTINE=1: the prefix gets a
# CD-ROM drive letter.

# sgio_library: puts the pass-through wnaspi32.dll beside Orvex.exe:
# ORVEX_SPTI_DLL, else the run's Windows build's, else one compiled here
# from the sources (a build that does not make the library yet). Sets
# SPTI_DLL to the file used.
sgio_library() {
  SPTI_DLL=${ORVEX_SPTI_DLL:-$ROOT/build/$ORVEX_WIN_PRESET/spti/wnaspi32.dll}
  if [ ! -f "$SPTI_DLL" ]; then
    [ -z "${ORVEX_SPTI_DLL:-}" ] || fail "no pass-through wnaspi32.dll at $ORVEX_SPTI_DLL"
    SPTI_DLL=$CASE_DIR/spti-wnaspi32.dll
    log "the build has no pass-through library; compiling $SPTI_DLL"
    "$ORVEX_MINGW-g++" -std=c++17 -O2 -shared -I"$ROOT" "$ROOT/spti/SptiAspi.cpp" \
      "$ROOT/spti/Win32DeviceIo.cpp" "$ROOT/spti/SptiLayer.cpp" "$ROOT/spti/InstalledLayer.cpp" \
      "$ROOT/spti/Win32SystemLibraries.cpp" "$ROOT/spti/wnaspi32.def" \
      -static -static-libgcc -static-libstdc++ -o "$SPTI_DLL" ||
      fail "cannot compile the pass-through library"
  fi
  cp "$SPTI_DLL" "$CASE_DIR/wnaspi32.dll"
}

# sgio_setup CONFIG TARGET [deny]: builds the shim and the drive program,
# makes the node, starts the drive on CONFIG (simulated-drive format; its
# first device answers), maps D: to the node as a CD-ROM drive reporting
# target id TARGET, and exports the preload for every Wine process the case
# starts next. With "deny", opening the node fails as it does for a user
# without rights on the drive.
sgio_setup() {
  local cfg=$1 target=$2 deny=${3:-}
  local dir=$CASE_DIR/sgio
  [ "${CASE_PRISTINE:-0}" = 1 ] || fail "an SG_IO case changes its prefix: set CASE_PRISTINE=1"
  mkdir -p "$dir/lib/i386-linux-gnu" "$dir/lib/x86_64-linux-gnu" "$dir/mnt"

  # $LIB picks the shim's build for each process: 32-bit for Wine's
  # programs, 64-bit for the host's tools and for the 64-bit wineserver that
  # comes with wine64 (it opens the devices for its clients).
  gcc -m32 -O2 -fPIC -shared -nostdlib "$ROOT/spti/sgio/SgioShim.c" \
    -o "$dir/lib/i386-linux-gnu/sgio-shim.so" || fail "cannot build the 32-bit SG_IO shim"
  gcc -O2 -fPIC -shared -nostdlib "$ROOT/spti/sgio/SgioShim.c" \
    -o "$dir/lib/x86_64-linux-gnu/sgio-shim.so" || fail "cannot build the 64-bit SG_IO shim"
  g++ -std=c++17 -O1 -I"$ROOT" "$ROOT/spti/sgio/SgioDrive.cpp" "$ROOT/sim/SimModel.cpp" \
    "$ROOT/sim/SimPort.cpp" -lpthread -ldl -o "$dir/sgio-drive" || fail "cannot build SgioDrive"

  local b dev=""
  for b in /sys/block/loop*; do
    if [ -r "$b/size" ] && [ "$(cat "$b/size")" = 0 ]; then
      dev=$(cat "$b/dev")
      break
    fi
  done
  [ -n "$dev" ] || fail "no unbound loop device to lend its numbers to a device node"
  mknod "$dir/sr0" b "${dev%%:*}" "${dev##*:}" || fail "cannot make a device node (root needed)"
  log "device node $dir/sr0 ($dev)"

  rm -f "$dir/drive.sock"
  "$dir/sgio-drive" "$cfg" "$dir/drive.sock" >"$dir/drive.out" 2>&1 &
  echo $! >>"$CASE_DIR/pids"
  local end=$((SECONDS + 10))
  until [ -S "$dir/drive.sock" ]; do
    [ "$SECONDS" -ge "$end" ] && fail "SgioDrive did not start: $(cat "$dir/drive.out")"
    sleep 0.1
  done

  ln -sfn "$dir/mnt" "$CASE_PREFIX/dosdevices/d:"
  ln -sfn "$dir/sr0" "$CASE_PREFIX/dosdevices/d::"
  wine_env wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f >/dev/null 2>&1 ||
    fail "cannot make D: a CD-ROM drive"
  # The mount manager reads the drive types when the prefix starts.
  WINEPREFIX=$CASE_PREFIX timeout 10 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$CASE_PREFIX timeout 10 wineserver -w >/dev/null 2>&1

  ORVEX_SGIO_NODE=$(realpath "$dir/sr0")
  export ORVEX_SGIO_NODE ORVEX_SGIO_SOCKET=$dir/drive.sock ORVEX_SGIO_TARGET=$target
  if [ "$deny" = deny ]; then export ORVEX_SGIO_DENY=1; fi
  export LD_PRELOAD="$dir/\$LIB/sgio-shim.so"
}
