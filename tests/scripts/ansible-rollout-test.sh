#!/usr/bin/env bash
# The fleet example (examples/ansible/rollout.yml) against hosts of this
# machine: four inventory hosts, local connection, each with a simulated
# drive of its own. The first run changes every host, a second changes none,
# and a host whose drive fails its commit stops the rollout before the hosts
# after it.
#
#   tests/scripts/ansible-rollout-test.sh [BUILD]     (default build/native)
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd) || exit 1
cli=$build/cli/orvex-cli
gen=$build/tools/orvex-imagegen
for f in "$cli" "$gen"; do [ -x "$f" ] || { echo "no $f: build the native preset first"; exit 1; }; done
command -v ansible-playbook >/dev/null || { echo "no ansible-playbook (Debian's ansible-core)"; exit 1; }

work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
bad=0
problem() { echo "  $*"; bad=1; }
hosts=(host1 host2 host3 host4)

"$gen" "$work/new.bin" --identity 0x150000 KORVELIN "DVDRRW MQT-R41A" 1.10 --text 0x160000 ID5678 >/dev/null ||
  { echo "cannot make the image"; exit 1; }

# config HOST [EXTRA]: the host's drive at 1.00, its flash and log its own.
config() {
  rm -f "$work/$1.flash" "$work/$1.log"
  printf 'log %s\nflash %s\ndevice 0 1 0\nvendor "KORVELIN"\nproduct "DVDRRW MQT-R41A "\nrevision "1.00"\nidtext "ID5678"\n%s' \
    "$work/$1.log" "$work/$1.flash" "${2:-}" >"$work/$1.cfg"
}

{
  echo "[dvd_writers]"
  for h in "${hosts[@]}"; do
    echo "$h ansible_connection=local ansible_python_interpreter=/usr/bin/python3 orvex_args='[\"--transport\", \"sim:$work/$h.cfg\"]'"
  done
  echo "[dvd_writers:vars]"
  echo "orvex_image=$work/new.bin"
  echo "orvex_cli=$cli"
} >"$work/inventory.ini"

# rollout NAME: runs the playbook; its output in $work/NAME.out.
rollout() {
  (cd "$work" && HOME=$work ANSIBLE_LOCAL_TEMP=$work/tmp ANSIBLE_REMOTE_TEMP=$work/tmp ANSIBLE_NOCOLOR=1 \
    ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_HOST_KEY_CHECKING=0 timeout 300 \
    ansible-playbook -i inventory.ini "$root/examples/ansible/rollout.yml" >"$1.out" 2>&1)
  echo "rollout $1: status $?"
}
# recap NAME HOST: the host's line of the play recap ("ok=3 changed=1 ..."), or "".
recap() { sed -n "s/^$2 *: //p" "$work/$1.out" | tr -s ' '; }
commits() { grep -c 'cdb=3B07' "$work/$1.log" 2>/dev/null; }

for h in "${hosts[@]}"; do config "$h"; done
rollout first
for h in "${hosts[@]}"; do
  recap first "$h" | grep -q 'changed=1 .*failed=0' || problem "first run, $h: $(recap first "$h")"
  [ "$(commits "$h")" = 1 ] || problem "first run, $h: $(commits "$h") commits"
done

rollout second
for h in "${hosts[@]}"; do
  recap second "$h" | grep -q 'changed=0 .*failed=0' || problem "second run, $h: $(recap second "$h")"
  [ "$(commits "$h")" = 1 ] || problem "second run, $h: a commit was sent"
done

for h in "${hosts[@]}"; do config "$h"; done
config host3 'fault commit 1 check 04 44 00
'
rollout failing
recap failing host2 | grep -q 'changed=1 .*failed=0' || problem "failing run, host2: $(recap failing host2)"
recap failing host3 | grep -q 'failed=1' || problem "failing run, host3: $(recap failing host3)"
[ -z "$(recap failing host4)" ] || problem "failing run, host4 ran after host3 failed: $(recap failing host4)"
[ -e "$work/host4.log" ] && problem "failing run: host4's drive was reached"
grep -q 'did not complete the commit' "$work/failing.out" || problem "failing run: host3's reason is not shown"

if [ "$bad" = 0 ]; then
  echo "ansible rollout: ok"
else
  for r in first second failing; do echo "--- $r"; tail -n 40 "$work/$r.out"; done
  echo "ansible rollout: FAILED"
fi
exit "$bad"
