#!/usr/bin/env bash
# zohost.exe under Wine, stopped as a console program is: Wine hands a
# SIGINT sent to the process to its console handlers as Ctrl-C. A render
# stops after its block, keeps its capture log whole, removes its temporary
# file and exits 130; so does --live (on an Xvfb of its own, when there is
# one). Negative control: SIGKILL, which no handler sees, leaves the
# temporary file, so the check below can see one. Wine ends a process on
# SIGTERM and SIGHUP without telling its handlers, and has no console to
# close here: Ctrl-Break and a closed console are not tested.
#
#   signals_wine.sh WINE ZOHOST.EXE SCRATCH_DIR
set -euo pipefail
wine=$1 zohost=$(realpath "$2") scratch=$3
mkdir -p "$scratch"
work=$(realpath "$(mktemp -d "$scratch/run.XXXXXX")")
cd "$work"
export WINEDEBUG=-all
fail() {
  echo "FAILED: $*"
  exit 1
}
temporaries() { find . -maxdepth 1 -name '.*.zohost-*.tmp' | wc -l; }
# Until the capture log's temporary file holds some lines (at most a minute).
wait_for_log() {
  for _ in $(seq 600); do
    [[ -n "$(find . -maxdepth 1 -name '.c.jsonl.zohost-*.tmp' -size +20k)" ]] && return 0
    kill -0 "$1" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

run() {
  rm -f c.jsonl out err
  # A session of its own: a console event Wine raises reaches no one else.
  setsid "$wine" "$zohost" "${mode[@]}" --captures c.jsonl --seconds 3000 --block 64 >out 2>err &
  pid=$!
  wait_for_log "$pid" || fail "no capture log appeared: $(cat err)"
  kill "-$1" "$pid"
  rc=0
  wait "$pid" || rc=$?
}

mode=(--no-png)
run INT
[[ $rc == 130 ]] || fail "Ctrl-C: exit status $rc, not 130: $(cat err)"
grep -q interrupted err || fail "Ctrl-C: no 'interrupted' on standard error: $(cat err)"
[[ $(temporaries) == 0 ]] || fail "Ctrl-C left a temporary file"
[[ -s c.jsonl && $(tail -c1 c.jsonl | od -An -c | tr -d ' ') == '\n' ]] || fail "Ctrl-C: the capture log is not whole lines"

run KILL
[[ $(temporaries) == 1 ]] || fail "negative control: SIGKILL left $(temporaries) temporary files, not 1"
[[ ! -e c.jsonl ]] || fail "negative control: SIGKILL put a capture log in place"
rm -f .c.jsonl.zohost-*.tmp

if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>display 2>/dev/null &
  xvfb=$!
  server="$(dirname "$wine")/wineserver"
  trap 'kill $xvfb 2>/dev/null || true; "$server" -k 2>/dev/null || true' EXIT
  for _ in $(seq 600); do [[ -s display ]] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 display)"
  # A Wine server started without this display makes no windows here. A
  # prefix of its own gets a server of its own, started with this display,
  # and stopping it stops no other test's programs.
  export WINEPREFIX="$(realpath "$scratch")/prefix"
  "$server" -k 2>/dev/null || true
  "$server" -w 2>/dev/null || true
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$server" -w 2>/dev/null || true
  # The capture log is written a line at a time, so its temporary file grows while the window runs.
  mode=(--live --mute --size 320x200)
  run INT
  [[ $rc == 130 ]] || fail "--live, Ctrl-C: exit status $rc, not 130: $(cat err)"
  [[ $(temporaries) == 0 ]] || fail "--live, Ctrl-C left a temporary file"
  [[ -s c.jsonl ]] || fail "--live, Ctrl-C: no capture log"
  echo "passed: Ctrl-C stops zohost.exe --live with 130"
else
  echo "--live not tried: Xvfb is missing"
fi
echo "passed: Ctrl-C stops zohost.exe with 130, whole lines, no temporary file"
