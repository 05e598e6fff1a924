# A duplicator tower: eight drives behind the kernel's sr and sg drivers,
# more than the dialog's four rows, each on a target of its own. `update
# --all` updates each exactly once (every piece once, one commit each), each
# with its own result line; a second run with --skip-current finds all
# eight current and writes nothing.
drives 8 || return
start=$(now)
cli root update /vm/img/new.bin --all --yes
expect_status 0 "every drive updated"
expect_line out '^8 drives: 8 updated, 0 already current, 0 not done$' "summing up"
note "8 drives updated one after another in $(since "$start") s"
done_lines=$(grep -c '^[0-9]:[0-9]:0: updated the main firmware to 1\.10' "$OUT")
[ "$done_lines" = 8 ] || fail "$done_lines result lines of an updated drive, want 8"
first=$WIRE
i=0
while [ $i -lt 8 ]; do
  [ $i = 0 ] || WIRE=$CASE_DIR/wire$i.log
  expect_pieces new
  expect_sent commit 1 "drive $i"
  i=$((i + 1))
done
WIRE=$first
cli root update /vm/img/new.bin --all --yes --skip-current
expect_status 0 "already current is no error"
expect_line out '^8 drives: 0 updated, 8 already current, 0 not done$' "finding every drive current"
writes=$(cat "$WIRE" "$CASE_DIR"/wire?.log | grep -Ec '^rx .* kind=(write|commit) ')
[ "$writes" = $((8 * 209)) ] || fail "$writes pieces and commits in all, want $((8 * 209)): the second run wrote"
drives_gone
