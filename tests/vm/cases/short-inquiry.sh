# A drive at 1.20 whose INQUIRY answer stops before the revision bytes:
# listed, but no version rule can rank it, so 1.10 is refused instead of
# going down silently.
drive "revision 1.20" "inquiry-length 32"
cli root update /vm/img/new.bin --yes
expect_status 2 "refused"
expect_line err 'version could not be read' "saying why"
expect_sent write 0
expect_sent commit 0
