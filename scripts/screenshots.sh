#!/usr/bin/env bash
# Refreshes the README's pictures: runs the demo (scripts/run.sh) under
# Xvfb, which saves screenshots of an unattended update, and crops them to
# the dialog as the demo measured it:
#   docs/orvex-update.png      while the drive commits, the bar moving
#   docs/orvex-completed.png   at "Update was Completed!"
set -euo pipefail
cd "$(dirname "$0")/.."

env -u DISPLAY bash scripts/run.sh >build/screenshots.log 2>&1 ||
  { tail -n 20 build/screenshots.log; echo "the demo failed; see build/screenshots.log" >&2; exit 1; }

# The demo names its screenshots; its transcript lies beside them.
shots=$(sed -n 's/^screenshots: \(.*\)\/unattended-update.png.*/\1/p' build/screenshots.log)
[ -d "$shots" ] || { echo "the demo named no screenshots folder" >&2; exit 1; }
# "screen_rect 0 DLG  => screen L,T-R,B ..." in the demo's transcript.
rect=$(sed -n 's/.*screen_rect 0 DLG *=> screen \([0-9]*\),\([0-9]*\)-\([0-9]*\),\([0-9]*\).*/\1 \2 \3 \4/p' \
  "$shots/../cases/unattended/log.txt" | head -n 1)
[ -n "$rect" ] || { echo "the demo did not measure the dialog" >&2; exit 1; }
read -r l t r b <<<"$rect"
crop=$((r - l))x$((b - t))+$l+$t

mkdir -p docs
for pair in update:update completed:completed; do
  convert "$shots/unattended-${pair%%:*}.png" -crop "$crop" +repage -strip \
    "docs/orvex-${pair##*:}.png"
  echo "docs/orvex-${pair##*:}.png ($crop)"
done
