#!/usr/bin/env bash
# A privileged orvex-cli (a copy with a file capability, run by a user
# without it) runs no code that user chose: no ORVEX_* variable, no
# --transport aspi:PATH or sim:, no library beside the copy; only the one
# installed with it, owned by root. The same copy without the capability
# loads the user's library, which shows the planted one would be loaded.
# Needs root (setcap, another user); elsewhere it says so and is skipped.
set -uo pipefail
cli=$1
if [ "$(id -u)" != 0 ] || ! command -v setcap >/dev/null || ! command -v setpriv >/dev/null; then
  echo "cli_privileged: not run: needs root, setcap and setpriv"
  exit 77
fi
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
chmod 755 "$t"
mkdir -p "$t/bin" "$t/spti" "$t/user" "$t/marks"
chmod 777 "$t/marks"
# The user's library: loading it leaves a mark.
cat >"$t/user/evil.c" <<'EOF_C'
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
__attribute__((constructor)) static void mark(void) {
  const char* dir = getenv("MARKS");
  if (dir == NULL) dir = "/nonexistent";
  char path[4096];
  int n = 0;
  while (dir[n] && n < 4000) { path[n] = dir[n]; ++n; }
  const char* name = "/loaded";
  for (int i = 0; name[i]; ++i) path[n++] = name[i];
  path[n] = 0;
  close(open(path, O_CREAT | O_WRONLY, 0666));
}
EOF_C
gcc -shared -fPIC -o "$t/user/libwnaspi32.so" "$t/user/evil.c" || exit 1
cp "$t/user/libwnaspi32.so" "$t/bin/"
cp "$t/user/libwnaspi32.so" "$t/spti/"
printf 'adapters 1\ndevice 0 1 0\nvendor "KORVELIN"\n' >"$t/user/sim.cfg"
chmod -R a+rX "$t"
cp "$cli" "$t/bin/orvex-cli"
cp "$cli" "$t/bin/orvex-cli-plain"
setcap cap_sys_rawio+ep "$t/bin/orvex-cli" || { echo "cli_privileged: setcap failed"; exit 1; }

failed=0
fail() { echo "FAIL $*"; failed=1; }
# as_user PROGRAM ARGS...: run as nobody, no groups; status in $status,
# standard error in $t/err.
as_user() {
  rm -f "$t/marks/loaded"
  status=0
  MARKS=$t/marks setpriv --reuid=65534 --regid=65534 --clear-groups env MARKS="$t/marks" "$@" \
    </dev/null >"$t/out" 2>"$t/err" || status=$?
}
expect() {  # expect NAME STATUS WORDS
  [ "$status" = "$2" ] || fail "$1: status $status, want $2: $(cat "$t/err")"
  [ ! -e "$t/marks/loaded" ] || fail "$1: the user's library was loaded"
  [ "$(wc -l <"$t/err")" = 1 ] || fail "$1: want one line, got: $(cat "$t/err")"
  grep -q -- "$3" "$t/err" || fail "$1: no \"$3\" in: $(cat "$t/err")"
}

as_user env ORVEX_SGIO_LIBRARY="$t/user/libwnaspi32.so" "$t/bin/orvex-cli" scan
expect "ORVEX_SGIO_LIBRARY" 69 "is not used in a run with rights its user lacks"
as_user "$t/bin/orvex-cli" --transport "aspi:$t/user/libwnaspi32.so" scan
expect "aspi:PATH" 64 "loads no library the user chooses"
as_user env ORVEX_SIM_LIBRARY="$t/user/libwnaspi32.so" "$t/bin/orvex-cli" --transport "sim:$t/user/sim.cfg" scan
expect "sim:" 64 "loads no library the user chooses"
as_user "$t/bin/orvex-cli" --transport aspi scan
expect "aspi" 64 "loads no library the user chooses"
as_user "$t/bin/orvex-cli" scan
expect "library beside the program" 69 "is not used in a run with rights its user lacks"

# The control: without the capability the same variable is honoured.
as_user env ORVEX_SGIO_LIBRARY="$t/user/libwnaspi32.so" "$t/bin/orvex-cli-plain" scan
[ -e "$t/marks/loaded" ] || fail "control: the plain copy did not load the user's library: $(cat "$t/err")"

[ "$failed" = 0 ] && echo "cli_privileged: a privileged run loaded nothing its user chose (5 cases)"
exit "$failed"
