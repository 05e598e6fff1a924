# boot: roads
# Ctrl-C while the USB drive commits (3 s): held with one line, status 0,
# one commit.
signal_during_commit INT
