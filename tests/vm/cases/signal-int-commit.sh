# SIGINT during a slow commit: held with one line naming it, the result
# reported (status 0), exactly one commit at the drive.
signal_during_commit INT
