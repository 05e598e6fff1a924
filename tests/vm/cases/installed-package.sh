# needs: --deb
# The installed package: /usr/bin/orvex-cli, which finds its library in
# /usr/lib/x86_64-linux-gnu/orvex/, lists the drive and updates it as a
# member of the drive's group. The build's program and library are out of
# the way meanwhile.
mv /opt/orvex /opt/orvex.away
drive
ORVEX_CLI=/usr/bin/orvex-cli
[ -x $ORVEX_CLI ] || fail "the package holds no $ORVEX_CLI"
[ -f /usr/lib/x86_64-linux-gnu/orvex/libwnaspi32.so ] || fail "the package holds no /usr/lib/x86_64-linux-gnu/orvex/libwnaspi32.so"
cli member scan
expect_status 0
expect_line out '^0:1:0 .*KORVELIN DVDRRW MQT-R41A  1\.00  admitted' "listing the drive"
cli member update /vm/img/new.bin --yes
expect_status 0
expect_pieces new
expect_sent commit 1
ORVEX_CLI=
mv /opt/orvex.away /opt/orvex
