#!/usr/bin/env bash
# zohost.exe under Wine, stopped as a console program is: Wine hands a
# SIGINT sent to the process to its console handlers as Ctrl-C, and
# CONSOLE_EVENT raises Ctrl-Break and a closed console in it (Wine raises
# neither). A render stops after its block, keeps its capture log whole,
# removes its temporary file and exits 128 + the signal the event stands
# for; so does --live on Ctrl-C (on an Xvfb of its own, when there is one).
# Negative control: SIGKILL, which no handler sees, leaves the temporary
# file, so the check below can see one. Wine ends a process on SIGTERM and
# SIGHUP without telling its handlers: those are not tested.
#
#   signals_wine.sh WINE ZOHOST.EXE SCRATCH_DIR CONSOLE_EVENT.EXE
set -euo pipefail
wine=$1 zohost=$(realpath "$2") scratch=$3 raiser=$(realpath "$4")
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

# run HOW: a signal sent with kill (INT, KILL), or break or close, which
# console_event raises once the log has grown.
run() {
  rm -f c.jsonl out err go
  local cmd=("$zohost" "${mode[@]}" --captures c.jsonl --seconds 3000 --block 64) raised=0 input=/dev/null
  if [[ $1 == break || $1 == close ]]; then
    raised=1 input=go
    mkfifo go
    exec 4<>go
    cmd=("$raiser" "$1" "${cmd[@]}")
  fi
  # A session of its own: a console event Wine raises reaches no one else.
  # Only this script holds the pipe open, so console_event raises its event
  # when the script ends early too.
  setsid "$wine" "${cmd[@]}" <"$input" >out 2>err 4>&- &
  pid=$!
  wait_for_log "$pid" || fail "no capture log appeared: $(cat err)"
  if ((raised)); then
    echo go >&4
    exec 4>&-
  else
    kill "-$1" "$pid"
  fi
  rc=0
  wait "$pid" || rc=$?
}

mode=(--no-png)
for stop in INT:130:Ctrl-C break:149:Ctrl-Break "close:129:a closed console"; do
  IFS=: read -r how want name <<<"$stop"
  run "$how"
  [[ $rc == "$want" ]] || fail "$name: exit status $rc, not $want: $(cat err)"
  grep -q interrupted err || fail "$name: no 'interrupted' on standard error: $(cat err)"
  [[ $(temporaries) == 0 ]] || fail "$name left a temporary file"
  [[ -s c.jsonl && $(tail -c1 c.jsonl | od -An -c | tr -d ' ') == '\n' ]] || fail "$name: the capture log is not whole lines"
done

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
echo "passed: Ctrl-C, Ctrl-Break and a closed console stop zohost.exe with 130, 149 and 129, whole lines, no temporary file"
