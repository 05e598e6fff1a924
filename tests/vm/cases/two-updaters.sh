# Two `orvex-cli update --yes` started together against the same drive: the
# pieces on the wire are one run from 0 to 207 and then its commit, never
# interleaved; the other updater says why it stopped, status 2.
drive "latency 5"
cli_start root update /vm/img/new.bin --yes
pid1=$CLI_PID n1=$CLI_N err1=$ERR
cli_start root update /vm/img/new.bin --yes
pid2=$CLI_PID n2=$CLI_N err2=$ERR
wait $pid1
s1=$?
wait $pid2
s2=$?
note "statuses $s1 and $s2; said: $(tail -1 "$err1") | $(tail -1 "$err2")"
case "$s1 $s2" in
  "0 2") loser=$err2 ;;
  "2 0") loser=$err1 ;;
  *) fail "statuses $s1 and $s2, want one 0 and one 2"; loser= ;;
esac
[ -z "$loser" ] || grep -q . "$loser" || fail "the updater that stopped said nothing"
why=$(awk '/^rx / && / kind=(write|commit|commit-ws) / {
    for (i = 1; i <= NF; i++) if ($i ~ /^off=/) off = substr($i, 5)
    if (/ kind=write /) { if (committed) { print "a piece after the commit"; exit }
                          if (off != sprintf("%06X", 8192 * n)) { print "piece " n " is at " off; exit } n++ }
    else { committed++ } }
  END { if (n != 208) print n " pieces, not 208"; if (committed != 1) print committed " commits" }' "$WIRE")
[ -z "$why" ] || fail "the wire is not one run of 0..207 and its commit: $why"
