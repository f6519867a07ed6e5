#!/usr/bin/env bash
# zohost.exe --live under Wine, on a virtual X display of its own, as a user
# meets it: the held window, looked at from outside the program (xwd), shows
# the pixels that zohost.exe --png renders for the same capture, before and
# after a resize, and so do the pictures it saves (S, --snapshot); keys sent with xdotool turn Trigger, Time and Y-Scale, as
# the capture log and the title say; Q quits. Then a capture device fed
# from a file (a private sound server whose null sinks run in real time)
# shows up sample for sample in the captures, through waveIn.
#
#   live_window_wine.sh WINE ZOHOST.EXE SCRATCH_DIR
# Exits 77 (skipped) when a tool is missing. Wine runs in a prefix of its own
# under SCRATCH_DIR, so that no Wine desktop started elsewhere, on another
# display or none, takes the windows.
set -euo pipefail
wine=$1 zohost=$(realpath "$2") scratch=$3

for tool in Xvfb xdotool xwd xwdtopnm pngtopnm pamcut pamdepth pulseaudio pactl pacat perl; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing (scripts/setup.sh)"; exit 77; }
done
mkdir -p "$scratch"
work=$(realpath "$(mktemp -d "$scratch/run.XXXXXX")")
export WINEPREFIX="$(realpath "$scratch")/prefix"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}

# -noreset: a program that starts just as the last one leaves must find the
# server up, not regenerating.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 600); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"

# Every capture of these inputs is the same: whole periods at the rate.
steady=(--pin "Signal A=sine:441" --pin "Signal B=square:441:0.5" --set Trigger=InputA)

title() { xdotool getwindowname "$1" 2>/dev/null || true; }
wait_title() {  # window, text: up to a minute
  for _ in $(seq 600); do [[ $(title "$1") == *"$2"* ]] && return 0; sleep 0.1; done
  fail "title never held '$2': $(title "$1")"
}
# The window's client area from the X screen, as a 255-level PPM.
shot() {  # window, width, height, file
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xwd -root -silent -out "$work/screen.xwd"
  xwdtopnm "$work/screen.xwd" 2>/dev/null | pamcut -left "$X" -top "$Y" -width "$2" -height "$3" |
    pamdepth 255 >"$4"
}
# Shots until one is the same as a picture: up to a minute.
shot_until() {  # window, width, height, file, wanted file
  for _ in $(seq 600); do
    shot "$@" && cmp -s "$4" "$5" && return 0
    sleep 0.1
  done
  return 1
}
reference() {  # width x height, file, inputs and settings
  local size=$1 file=$2
  shift 2
  "$wine" "$zohost" "$@" --size "$size" --seconds 0.5 --png "$work/ref.png" -q ||
    fail "zohost --png"
  pngtopnm "$work/ref.png" >"$file"
}

# What the window must come to show: held, resized, and after the keys
# (the Time and Y-Scale pins at the levels the title gives, in tenths).
keyed=("${steady[@]}")
keyed[5]=Trigger=InputB
reference 320x200 "$work/ref.ppm" "${steady[@]}"
reference 400x250 "$work/big.ppm" "${steady[@]}"
reference 400x250 "$work/keys.ppm" "${keyed[@]}" --pin Time=dc:0.6 --pin Y-Scale=dc:0.15

# In the scratch folder, where S saves its pictures.
(cd "$work" && exec "$wine" "$zohost" --live --mute "${steady[@]}" --size 320x200 --hold-at 0.5 --seconds 120 \
  --captures caps.jsonl --snapshot snap.png -q >out.txt 2>&1) &
live=$!
pids+=($live)
win=
for _ in $(seq 600); do
  win=$(xdotool search --onlyvisible --name '^Ondix2 ' 2>/dev/null | head -1) || true
  [[ -n $win ]] && break
  sleep 0.1
done
[[ -n $win ]] || fail "no window; zohost said: $(cat "$work/out.txt")"
wait_title "$win" "[held]"
# Captures already on their way when the hold came may still be painted.
shot_until "$win" 320 200 "$work/shown.ppm" "$work/ref.ppm" || fail "the held window differs from --png's picture"
xdotool key --window "$win" s 2>/dev/null
for _ in $(seq 600); do [[ -s $work/zohost-live-001.png ]] && break; sleep 0.1; done

xdotool windowsize "$win" 400 268
shot_until "$win" 400 250 "$work/resized.ppm" "$work/big.ppm" ||
  fail "the resized window differs from --png's picture"

xdotool key --window "$win" t Right Right Up space 2>/dev/null
wait_title "$win" "Trigger=InputB"
for _ in $(seq 600); do [[ $(title "$win") != *"[held]"* ]] && break; sleep 0.1; done
title=$(title "$win")
[[ $title == *"Time=6 V"* && $title == *"Y-Scale=1.5 V"* && $title != *"[held]"* ]] || fail "title: $title"
# Steady again (the trigger on B's edges): what the window shows at the end.
shot_until "$win" 400 250 "$work/now.ppm" "$work/keys.ppm" || fail "the window never showed the keys' settings"
shot "$win" 400 268 "$work/last.ppm"
xdotool key --window "$win" q 2>/dev/null
rc=0
wait "$live" || rc=$?
[[ $rc == 0 ]] || fail "zohost --live exited with $rc: $(cat "$work/out.txt")"

pngtopnm "$work/zohost-live-001.png" | cmp -s - "$work/ref.ppm" || fail "S saved another picture"
# The snapshot, read back by the program: the whole window as the screen
# showed it at the end, status bar included.
pngtopnm "$work/snap.png" | cmp -s - "$work/last.ppm" || fail "the snapshot differs from the screen"
# Negative control: another input's picture is told apart.
steady[1]="Signal A=sine:882"
reference 320x200 "$work/other.ppm" "${steady[@]}"
if cmp -s "$work/shown.ppm" "$work/other.ppm"; then fail "another input's picture matched"; fi

# The captures: the first with the settings given, the last with the keys'.
setting() { grep -o "\"$2\":[0-9.]*" <<<"$1" | cut -d: -f2; }
first=$(head -1 "$work/caps.jsonl")
last=$(tail -1 "$work/caps.jsonl")
[[ $(setting "$first" trigger) == 1 && $(setting "$first" time) == 5 ]] || fail "first capture: ${first:0:120}"
[[ $(setting "$last" trigger) == 2 && $(setting "$last" time) == 6 && $(setting "$last" y_scale) == 1.5 ]] ||
  fail "last capture: ${last:0:120}"

# A capture device fed from a file: channel 1 a sequence in which every
# value tells its place (n * 7919 mod 10007), channel 2 another one.
seq_value() {  # stride: perl expression of the n-th value, as a 32-bit float
  echo "unpack('f<', pack('f<', ((\$_[0] * $1) % 10007) / 10007 * 0.8 - 0.4))"
}
perl -e "sub a { $(seq_value 7919) } sub b { $(seq_value 4001) }
  print pack('f<*', map { (a(\$_), b(\$_)) } 0 .. 44100 * 30 - 1)" >"$work/in.raw"
rig="$work/sound"
mkdir -m 700 "$rig"
export XDG_RUNTIME_DIR=$rig PULSE_SERVER=unix:$rig/pulse.sock
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  -L "module-native-protocol-unix socket=$rig/pulse.sock auth-anonymous=1" \
  -L "module-null-sink sink_name=feed rate=44100 channels=2 format=float32le" \
  -L "module-null-sink sink_name=out rate=44100 channels=2 format=float32le" >"$rig/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-sink out && pactl set-default-source feed.monitor || fail "no sound server: $(cat "$rig/server.log")"
pacat --playback -d feed --raw --format=float32le --rate=44100 --channels=2 "$work/in.raw" &
pids+=($!)
(cd "$work" && "$wine" "$zohost" --live --pin "Signal A=input:1" --pin "Signal B=sine:441" --set Trigger=Aus \
  --seconds 4 --captures in.jsonl --stats >in.txt 2>&1) || fail "zohost --live with input:1: $(cat "$work/in.txt")"
grep -q "clock the capture device" "$work/in.txt" || fail "not clocked by the capture device: $(cat "$work/in.txt")"
grep -q "live layer on the audio thread: 0 allocations, 0 locks" "$work/in.txt" ||
  fail "the audio thread allocated or locked: $(cat "$work/in.txt")"
# Each capture's "Signal A", after the silence before the device delivered,
# must run on through the sequence from wherever it starts. Counts the
# captures that do, of those with samples, for the stride given.
following() {
  perl -ne "sub v { $(seq_value "$1") }"'
    BEGIN { for my $n (0 .. 10006) { $at{pack("f<", v($n))} = $n } }
    next unless /"a":\[([^\]]*)\]/;
    # The log is in volts: 10 V to a sample of 1.
    my @a = map { $_ / 10 } split /,/, $1;
    shift @a while @a && $a[0] == 0;
    next if @a < 8;
    $with++;
    my $n = $at{pack("f<", $a[0])};
    my $ok = defined $n;
    for my $k (0 .. $#a) { $ok &&= pack("f<", $a[$k]) eq pack("f<", v($n + $k)) }
    $good++ if $ok;
    END { printf "%d %d\n", $good // 0, $with // 0 }' "$work/in.jsonl"
}
read -r good with <<<"$(following 7919)"
((with >= 3 && good == with)) || fail "$good of $with captures follow the capture device's channel 1"
# Negative control: they do not follow channel 2.
read -r other _ <<<"$(following 4001)"
((other == 0)) || fail "$other captures follow channel 2 as well"

rm -rf "$work"
echo "passed: window pixels equal --png's at 320x200 and 400x250, as do S and --snapshot; keys turned the" \
  "settings; $good captures carry the capture device's samples"
