# A drive whose identification text is all NUL, or whose answer stops
# before its sixth byte: no image matches it, nothing is written.
for line in 'idtext ""' 'fault idtext * short 8'; do
  drive "$line"
  cli root update /vm/img/new.bin --yes
  expect_status 2 "refused ($line)"
  expect_line err 'identification text' "naming the identification text ($line)"
  expect_sent write 0
  expect_sent commit 0
done
