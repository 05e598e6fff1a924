# A member of the drive's group (group 24, cdrom) without any capability
# updates the drive: the sg driver checks rights only on a node opened
# read-only, so read and write access to /dev/sg* is all it takes.
drive
caps=$(/usr/bin/setpriv --reuid=1000 --regid=1000 --groups=24 --inh-caps=-all -- /bin/busybox grep -E '^Cap(Eff|Prm|Amb)' /proc/self/status | tr -s '\t\n' '  ')
note "the member's capabilities: $caps; the nodes: $(ls -l "$SG" "$SR" | awk '{ print $1, $3, $4, $NF }' | tr '\n' ';')"
cli member update /vm/img/new.bin --yes
expect_status 0
expect_pieces new
expect_sent commit 1
cli member scan
expect_line out '^0:1:0 .*KORVELIN DVDRRW MQT-R41A  1\.10  admitted' "showing the new revision"
