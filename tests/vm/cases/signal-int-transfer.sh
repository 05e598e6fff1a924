# SIGINT during the transfer: the update stops after the piece at the
# drive, status 3, no commit, nothing sent twice.
signal_during_transfer INT
