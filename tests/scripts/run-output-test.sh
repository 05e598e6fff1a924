#!/usr/bin/env bash
# The README's first command, as a newcomer runs it without a display: its
# transcript must show the drive's revision before (1.00) and after (1.10)
# the update, not only end well.
set -uo pipefail
cd "$(dirname "$0")/../.."
out=build/e2e/run-output.txt
mkdir -p build/e2e
env -u DISPLAY bash scripts/run.sh >"$out" 2>&1
rc=$?
fail() { echo "run command: $*"; sed 's/^/  | /' "$out" | tail -n 40; exit 1; }
[ "$rc" -eq 0 ] || fail "exit status $rc"
# The text read after each note, up to the next note.
after() {
  awk -v note="NOTE: $1" 'index($0, note) == 1 {on = 1; next} /^NOTE:/ {on = 0} on && /^text / {print; exit}' "$out"
}
before=$(after "drive before the update:")
image=$(after "image:")
later=$(after "drive after the update:")
case "$before" in *'KORVELIN DVDRRW MQT-R41A  1.00"'*) ;; *) fail "no revision 1.00 before the update (\"$before\")" ;; esac
case "$image" in *'KORVELIN DVDRRW MQT-R41A  1.10"'*) ;; *) fail "no image identity 1.10 (\"$image\")" ;; esac
case "$later" in *'KORVELIN DVDRRW MQT-R41A  1.10"'*) ;; *) fail "no revision 1.10 after the update (\"$later\")" ;; esac
echo "run command: the transcript shows 1.00 before and 1.10 after the update"
