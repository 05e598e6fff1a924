# The guest's side of the VM cases, sourced by /init (busybox sh): the
# drive behind the kernel, the program run as a user, and the checks. A case
# is a file of tests/vm/cases/ sourced in this shell; it starts the drive
# with `drive [CONFIG LINE...]`, runs orvex-cli with `cli` or `cli_start`,
# and says what it found with `fail` and `note`. Lines for the host start
# with "@@".

CLI=/opt/orvex/cli/orvex-cli
HANDLER=/vm/bin/sim-tcmu
CORE=/sys/kernel/config/target/core/user_0/drive
TPG=/sys/kernel/config/target/loopback/naa.5001405a0e0f0001/tpgt_1
NEXUS=naa.5001405a0e0f0002
DRIVE_PID=
SR=
SG=

say() { echo "@@$*"; }
now() { cut -d' ' -f1 /proc/uptime; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# fail WHY: the case fails; note FACT: something measured, shown either way.
fail() {
  FAILS=$((FAILS + 1))
  say "fail $CASE $*"
}
note() { say "note $CASE $*"; }

# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds, at most SECONDS.
wait_for() {
  local bound=$1 what=$2 i=0
  shift 2
  while ! "$@" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt $((bound * 50)) ]; then
      fail "no $what within $bound s"
      return 1
    fi
    usleep 20000
  done
}

# ---------------------------------------------------------------- the drive

# The drive's base configuration: one admitted drive of revision 1.00 at
# 0:1:0, the address tcm_loop gives (target = portal group 1, LUN 0).
base_config() {
  cat <<EOF
flash $CASE_DIR/flash.txt
device 0 1 0
vendor "KORVELIN"
product "DVDRRW MQT-R41A "
revision "1.00"
idtext "ID5678"
idtext-cdb 10
EOF
}

# drive [LINE...]: a drive fresh from the base configuration and LINEs (its
# faults, its latency), its request log emptied. The flash file is kept:
# what a case committed survives a new `drive`.
drive() {
  stop_drive
  # A new drive does not carry out what the one before left unanswered (a
  # command it never answered stays in the ring): the kernel fails every
  # command still in the ring and starts it empty.
  echo 2 >$CORE/action/reset_ring
  mkdir -p "$CASE_DIR"
  { base_config; for line in "$@"; do echo "$line"; done; } >"$CASE_DIR/drive.cfg"
  WIRE=$CASE_DIR/wire.log
  : >"$WIRE"
  $HANDLER "$UIO" "$CASE_DIR/drive.cfg" "$WIRE" >"$CASE_DIR/handler.out" 2>&1 &
  DRIVE_PID=$!
  wait_for 5 "drive handler" grep -q serving "$CASE_DIR/handler.out"
}

stop_drive() {
  [ -n "$DRIVE_PID" ] || return 0
  kill -TERM "$DRIVE_PID" 2>/dev/null
  wait "$DRIVE_PID"
  DRIVE_PID=
}

make_backstore() {
  mount -t configfs configfs /sys/kernel/config
  mkdir -p $CORE
  echo "dev_config=orvex/drive" >$CORE/control
  echo "dev_size=1048576" >$CORE/control
  # Task management (the kernel's aborts) reaches the handler's log. A
  # command the handler never answers is failed by the kernel after
  # cmd_time_out (30 s by default; settable only while nothing is exported).
  echo 1 >$CORE/attrib/tmr_notification
  echo 10 >$CORE/attrib/cmd_time_out
  echo 1 >$CORE/enable
  UIO=$(basename /sys/class/uio/uio*)
  [ -c "/dev/$UIO" ]
}

have_nodes() {
  local b
  for b in /sys/block/sr*; do
    [ -d "$b" ] || continue
    SR=/dev/${b##*/}
    SG=$(ls "$b/device/scsi_generic" 2>/dev/null)
    [ -n "$SG" ] && SG=/dev/$SG && [ -b "$SR" ] && [ -c "$SG" ] && return 0
    # Booted without the sg module (run.sh --no-sg): the block node alone.
    [ ! -d /sys/module/sg ] && [ -b "$SR" ] && SG= && return 0
  done
  return 1
}

# Exports the drive as a LUN of the loopback target: the kernel scans it and
# makes its nodes. They get what Debian's udev rules give a CD/DVD drive.
attach() {
  [ -n "$DRIVE_PID" ] || drive
  mkdir -p $TPG/lun/lun_0
  [ "$(cat $TPG/nexus 2>/dev/null)" = "$NEXUS" ] || echo $NEXUS >$TPG/nexus
  ln -s $CORE $TPG/lun/lun_0/drive
  wait_for 15 "/dev/sr* with its /dev/sg*" have_nodes || return 1
  chgrp 24 "$SR" ${SG:+"$SG"}
  chmod 660 "$SR" ${SG:+"$SG"}
  POLL_DEFAULT=$(cat /sys/block/${SR#/dev/}/events_poll_msecs)
}

detach() {
  rm -f $TPG/lun/lun_0/drive
  rmdir $TPG/lun/lun_0
}

# road: which node carries the drive's requests in this boot.
road() {
  if [ -n "$SG" ]; then echo "generic node $SG (sg module loaded)"; else echo "block node $SR alone (no sg module)"; fi
}

# lock_file: the updaters' lock file for the drive, named by its block
# node's number.
lock_file() {
  echo "/run/lock/orvex-block-$((0x$(stat -c %t "$SR"))).$((0x$(stat -c %T "$SR"))).lock"
}

# ---------------------------------------------------------------- more drives

# drives N [LINE...]: the drive of `drive` and N-1 more, as in a duplicator
# tower: each a TCMU device of its own (user_0/driveI) with its own handler,
# configuration, flash file and log ($CASE_DIR/wireI.log), and a target of
# its own, LUN 0, as drives on their own ports are: targets 2 to 7 of the
# first loopback adapter, then targets 1 to 7 of a second one (a kernel
# puts a LUN above 0 into byte 1 of a SCSI-2 device's commands, which no
# tower's drive sees). Waits until the kernel has made every drive's nodes.
# A case that calls it ends with drives_gone.
EXTRA_DRIVES=0
EXTRA_PIDS=
WWN2=/sys/kernel/config/target/loopback/naa.5001405a0e0f0003
extra_tpg() {
  if [ "$1" -le 6 ]; then echo "${TPG%/tpgt_1}/tpgt_$(($1 + 1))"; else echo "$WWN2/tpgt_$(($1 - 6))"; fi
}
drives() {
  local n=$1 i=1 core uio u tpg
  shift
  drive "$@"
  while [ $i -lt "$n" ]; do
    core=${CORE}$i
    mkdir -p "$core"
    echo "dev_config=orvex/drive$i" >"$core/control"
    echo "dev_size=1048576" >"$core/control"
    echo 1 >"$core/enable"
    uio=
    for u in /sys/class/uio/uio*; do
      case $(cat "$u/name") in */drive$i/*) uio=${u##*/} ;; esac
    done
    [ -n "$uio" ] || { fail "no /dev/uio* for drive $i"; return 1; }
    { base_config | sed "s|^flash .*|flash $CASE_DIR/flash$i.txt|"; for line in "$@"; do echo "$line"; done; } \
      >"$CASE_DIR/drive$i.cfg"
    : >"$CASE_DIR/wire$i.log"
    $HANDLER "$uio" "$CASE_DIR/drive$i.cfg" "$CASE_DIR/wire$i.log" >"$CASE_DIR/handler$i.out" 2>&1 &
    EXTRA_PIDS="$EXTRA_PIDS $!"
    wait_for 5 "drive $i's handler" grep -q serving "$CASE_DIR/handler$i.out" || return 1
    tpg=$(extra_tpg $i)
    mkdir -p "$tpg/lun/lun_0"
    echo "naa.5001405a0e0f01$((10 + i))" >"$tpg/nexus"
    ln -s "$core" "$tpg/lun/lun_0/drive$i"
    EXTRA_DRIVES=$i
    i=$((i + 1))
  done
  wait_for 30 "$n drives with their nodes" sh -c "[ \$(ls -d /sys/block/sr* | wc -l) -ge $n ]" || return 1
  clear_attention
}

# drives_gone: the drives beside the first unlinked, their targets and
# devices gone, so that the cases after see one drive.
drives_gone() {
  local i=$EXTRA_DRIVES p tpg
  while [ "$i" -ge 1 ]; do
    tpg=$(extra_tpg $i)
    rm -f "$tpg/lun/lun_0/drive$i"
    rmdir "$tpg/lun/lun_0"
    echo NULL >"$tpg/nexus"
    rmdir "$tpg"
    i=$((i - 1))
  done
  [ -d "$WWN2" ] && rmdir "$WWN2"
  for p in $EXTRA_PIDS; do kill -TERM "$p" 2>/dev/null; wait "$p"; done
  i=$EXTRA_DRIVES
  while [ "$i" -ge 1 ]; do
    rmdir "${CORE}$i"
    i=$((i - 1))
  done
  EXTRA_DRIVES=0
  EXTRA_PIDS=
  clear_attention
}

# clear_attention: a LUN added to the target or taken from it leaves every
# other LUN a UNIT ATTENTION (06/3F/0E, "reported LUNs data has changed")
# for its next command, as a real target does; a TEST UNIT READY to each
# drive takes it, so that a case's first request meets the drive itself.
clear_attention() {
  local g i
  for g in /sys/class/scsi_generic/sg*; do
    for i in 1 2 3; do
      /vm/bin/vm-probe sgio "/dev/${g##*/}" rw 000000000000 | grep -q 'sense 06/' || break
    done
  done
}

# ---------------------------------------------------------------- orvex-cli

# Who runs it: root; a member of the drive's group (24, cdrom) without any
# capability; or a user of no group who has no access to the drive.
as_user() {
  case $1 in
    root) ;;
    member) echo /usr/bin/setpriv --reuid=1000 --regid=1000 --groups="$(stat -c %g "${SG:-$SR}")" --inh-caps=-all -- ;;
    stranger) echo /usr/bin/setpriv --reuid=1001 --regid=1001 --clear-groups --inh-caps=-all -- ;;
    *) fail "no such user $1" ;;
  esac
}

# cli_start USER ARG...: orvex-cli in the background, as a program started
# from a terminal gets it: every signal at its default (a shell's background
# job would ignore SIGINT and SIGQUIT). OUT and ERR name its output;
# CLI_PID is its process. Bounded: a run that outlives 100 s is killed.
cli_start() {
  local who=$1
  shift
  CLI_N=$((CLI_N + 1))
  OUT=$CASE_DIR/cli$CLI_N.out
  ERR=$CASE_DIR/cli$CLI_N.err
  echo "$who: orvex-cli $*" >"$CASE_DIR/cli$CLI_N.cmd"
  timeout -s KILL 100 $(as_user "$who") /usr/bin/env --default-signal ${CLI_ENV:-} ${ORVEX_CLI:-$CLI} "$@" \
    </dev/null >"$OUT" 2>"$ERR" &
  CLI_PID=$!
}

# cli_wait: its exit status in STATUS.
cli_wait() {
  wait "$CLI_PID"
  STATUS=$?
  echo "status $STATUS" >>"$CASE_DIR/cli$CLI_N.cmd"
}

cli() {
  cli_start "$@"
  cli_wait
}

# ---------------------------------------------------------------- checks

expect_status() {
  [ "$STATUS" = "$1" ] || fail "$(cat "$CASE_DIR/cli$CLI_N.cmd" | head -1): status $STATUS, want $1${2:+ ($2)}"
}

# expect_line out|err REGEX WHAT: a line of the last run's output matches.
expect_line() {
  local file=$OUT
  [ "$1" = err ] && file=$ERR
  grep -Eq -- "$2" "$file" || fail "no line on std$1 $3 (/$2/)"
}

# sent KIND: requests of that kind (sim/README.md's fault kinds) the drive
# received since `drive`.
sent() { grep -c "^rx .* kind=$1 " "$WIRE"; }
# all_sent: every request the drive received since `drive`.
all_sent() { grep -c "^rx " "$WIRE"; }

expect_sent() {
  local n
  n=$(sent "$1")
  [ "$n" = "$2" ] || fail "$n request(s) of kind $1 reached the drive, want $2${3:+ ($3)}"
}

# wait_sent KIND COUNT SECONDS: until the drive has received COUNT requests
# of KIND (logged as they arrive, before they are carried out).
wait_sent() {
  wait_for "$3" "$2 request(s) of kind $1 at the drive" sh -c "[ \$(grep -c '^rx .* kind=$1 ' '$WIRE') -ge $2 ]"
}

# expect_pieces IMAGE: every piece of the image reached the drive once, at
# its offset, with the image's bytes (CRC-32 of each, from the host).
expect_pieces() {
  local why
  why=$(awk -v want="/vm/img/$1.pieces" '
    BEGIN { while ((getline line < want) > 0) { split(line, f, " "); crc[f[1]] = f[2]; n++ } }
    /^rx / && / kind=write / {
      off = ""; c = ""
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^off=/) off = substr($i, 5)
        if ($i ~ /^crc=/) c = substr($i, 5)
      }
      got++
      if (++seen[off] == 2) { print "the piece at " off " reached the drive twice"; bad = 1 }
      else if (!(off in crc)) { print "a piece at " off ", which the image has not"; bad = 1 }
      else if (crc[off] != c) { print "the piece at " off " has CRC " c ", the image " crc[off]; bad = 1 }
    }
    END { if (got != n) print got + 0 " pieces reached the drive, the image has " n }' "$WIRE" | head -3)
  [ -z "$why" ] || fail "$why"
}

# expect_once: nothing reached the drive twice: no piece offset repeated,
# one commit at most.
expect_once() {
  local twice commits
  twice=$(awk '/^rx / && / kind=write / { for (i = 1; i <= NF; i++) if ($i ~ /^off=/ && ++seen[$i] == 2) print substr($i, 5) }' "$WIRE" | head -3)
  [ -z "$twice" ] || fail "piece(s) at $twice reached the drive twice"
  commits=$(($(sent commit) + $(sent commit-ws)))
  [ "$commits" -le 1 ] || fail "$commits commits reached the drive"
}

# The kernel's own requests since `drive` (neither the program's nor ours):
# commands of kind "other", by opcode.
kernel_requests() {
  awk '/^rx / && / kind=other / { for (i = 1; i <= NF; i++) if ($i ~ /^cdb=/) n[substr($i, 5, 2)]++ }
       END { for (o in n) { printf "%s%sh x%d", sep, o, n[o]; sep = ", " } }' "$WIRE"
}

# update_past_timeout ACTION: the commit faulted with ACTION, the group
# member's update with the library's timeout at 2 s (ORVEX_SGIO_TIMEOUT_MS,
# which only a run without raised rights takes): a failed commit, status 4,
# with what to do.
update_past_timeout() {
  drive "fault commit 1 $1"
  local start
  start=$(now)
  CLI_ENV=ORVEX_SGIO_TIMEOUT_MS=2000
  cli member update /vm/img/new.bin --yes
  CLI_ENV=
  expect_status 4 "failed during the commit"
  expect_line err 'Do not switch off' "telling what to do"
  note "orvex-cli ended $(since "$start") s after its start; said: $(grep -v 'SG_IO serves' "$ERR" | tr '\n' '|')"
}

# ---------------------------------------------------------------- signals

# The signal comes while the drive holds the 20th piece (1.5 s): the update
# ends after that piece, before any other request of the transfer.
signal_during_transfer() {
  drive "fault write 20 slow 1500"
  cli_start root update /vm/img/new.bin --yes
  wait_sent write 20 60 && kill -"$1" "$CLI_PID"
  cli_wait
  expect_status 3 "stopped before the commit"
  expect_sent write 20 "the piece at the drive when SIG$1 came is the last"
  expect_sent commit 0
  expect_once
  note "SIG$1 during the transfer: status $STATUS, $(sent write) pieces; said: $(tail -2 "$ERR" | tr '\n' '|')"
}

# The signal comes while the drive commits (3 s): held, with one line that
# names it; the update completes; one commit.
signal_during_commit() {
  drive "fault commit 1 slow 3000"
  cli_start root update /vm/img/new.bin --yes
  wait_sent commit 1 60 && kill -"$1" "$CLI_PID"
  cli_wait
  expect_status 0 "the commit completes and is reported"
  expect_sent commit 1
  expect_once
  local named="SIG$1"
  [ "$1" = INT ] && named="SIGINT|Ctrl-C"
  local lines
  lines=$(grep -Ec "$named" "$ERR")
  [ "$lines" = 1 ] || fail "$lines line(s) on stderr name SIG$1 (/$named/), want one"
  note "SIG$1 during the commit: status $STATUS, $(sent commit) commit(s); said: $(grep -E "$named" "$ERR" | head -2 | tr '\n' '|')"
}

# ---------------------------------------------------------------- the run

show_transcript() {
  local f
  for f in "$CASE_DIR"/cli*.cmd; do
    [ -e "$f" ] || continue
    sed "s/^/@@log $CASE /" "$f"
    sed "s/^/@@log $CASE   out: /" "${f%.cmd}.out"
    sed "s/^/@@log $CASE   err: /" "${f%.cmd}.err"
  done
  sed "s/^/@@log $CASE   drive: /" "$CASE_DIR/handler.out"
  wire_summary | sed "s/^/@@log $CASE   drive: /"
}

# The drive's log without the routine: a run of pieces is one line, and
# only answers that are not GOOD are shown.
wire_summary() {
  awk 'function flush() { if (run) print "rx " run " piece(s) from " first " to " last; run = 0 }
    /^rx / && / kind=write / { for (i = 1; i <= NF; i++) if ($i ~ /^off=/) last = substr($i, 5)
                               if (!run) first = last; run++; next }
    /^tx / && / status=00 / { next }
    { flush(); print }
    END { flush() }' "$WIRE"
}

run_case() {
  CASE=$1
  CASE_DIR=/tmp/case/$CASE
  FAILS=0
  CLI_N=0
  STATUS=
  mkdir -p "$CASE_DIR"
  local start
  start=$(now)
  say "case $CASE start"
  # A case before may have removed the drive, or the kernel taken it
  # offline.
  if have_nodes && [ "$(cat /sys/block/${SR#/dev/}/device/state)" != running ]; then
    note "$SR was $(cat /sys/block/${SR#/dev/}/device/state) after the case before: linked again"
    detach
  fi
  have_nodes || attach || { say "case $CASE fail"; return; }
  dmesg -c >/dev/null
  . "/vm/cases/$CASE.sh"
  dmesg -c | sed "s/^/@@dmesg $CASE /"
  # Writing the interval makes the kernel check the drive at once: only
  # when a case changed it.
  local poll=/sys/block/${SR#/dev/}/events_poll_msecs
  [ "$(cat $poll 2>/dev/null)" = "$POLL_DEFAULT" ] || echo "$POLL_DEFAULT" >$poll
  if [ "$FAILS" = 0 ]; then
    say "case $CASE pass $(since "$start") s"
  else
    show_transcript
    say "case $CASE fail $(since "$start") s"
  fi
  stop_drive
}

load_modules() {
  local m
  for m in $(cat /vm/modules.list); do
    [ "$m" = sg ] && [ "$BOOT" = nosg ] && continue
    insmod "/vm/modules/$m.ko" || say "vm fatal insmod $m failed"
  done
}

# Where updaters take their locks between processes, as on any system.
lock_dir() {
  mkdir -p /run/lock
  chmod 1777 /run/lock
}

BOOT=main
vm_main() {
  say "vm kernel $(uname -r) $(uname -v)"
  case " $(cat /proc/cmdline) " in
    *" orvex.boot=roads "*) . /vm/roads.sh; roads_main; return ;;
    *" orvex.boot=nosg "*) BOOT=nosg ;;
  esac
  local start
  start=$(now)
  CASE=boot
  CASE_DIR=/tmp/case/boot
  lock_dir
  load_modules
  make_backstore || { say "vm fatal no /dev/uio* after enabling the TCMU device"; return; }
  attach || { say "vm fatal the drive did not attach"; return; }
  say "vm ready at $(now) s of uptime ($(since "$start") s for modules and drive): $SR ${SG:-(no sg module)}"
  say "vm attach the kernel's requests as the drive attached: $(sent inquiry) INQUIRY, $(sent tur) TEST UNIT READY, and $(kernel_requests)"
  stop_drive
  local list=/vm/cases.list
  [ "$BOOT" = nosg ] && list=/vm/cases-nosg.list
  for c in $(cat "$list"); do
    run_case "$c"
  done
  say "vm end at $(now) s"
}
