#!/usr/bin/env bash
# zohost.exe under Wine, stopped as a console program is: Wine hands a
# SIGINT sent to the process to its console handlers as Ctrl-C. The run
# stops after its block, keeps its capture log whole, removes its temporary
# file and exits 130. Negative control: SIGKILL, which no handler sees,
# leaves the temporary file, so the check below can see one.
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
  "$wine" "$zohost" --no-png --captures c.jsonl --seconds 3000 --block 64 >out 2>err &
  pid=$!
  wait_for_log "$pid" || fail "no capture log appeared: $(cat err)"
  kill "-$1" "$pid"
  rc=0
  wait "$pid" || rc=$?
}

run INT
[[ $rc == 130 ]] || fail "Ctrl-C: exit status $rc, not 130: $(cat err)"
grep -q interrupted err || fail "Ctrl-C: no 'interrupted' on standard error: $(cat err)"
[[ $(temporaries) == 0 ]] || fail "Ctrl-C left a temporary file"
[[ -s c.jsonl && $(tail -c1 c.jsonl | od -An -c | tr -d ' ') == '\n' ]] || fail "Ctrl-C: the capture log is not whole lines"

run KILL
[[ $(temporaries) == 1 ]] || fail "negative control: SIGKILL left $(temporaries) temporary files, not 1"
[[ ! -e c.jsonl ]] || fail "negative control: SIGKILL put a capture log in place"
echo "passed: Ctrl-C stops zohost.exe with 130, whole lines, no temporary file"
