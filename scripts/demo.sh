#!/usr/bin/env bash
# Builds the module and the zohost program on Linux, shows what the module
# says about itself, and renders its display for the demonstration input.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh linux
cmake --preset linux
cmake --build --preset linux -j"${ZO_JOBS:-2}"
if [[ ! -x build/linux/zohost ]]; then
  echo "demo: build/linux/zohost was not built" >&2
  exit 1
fi
build/linux/zohost --describe
echo
mkdir -p build/demo
# No --pin: a 440 Hz sine on "Signal A", a 660 Hz triangle on "Signal B".
build/linux/zohost --png build/demo/scope.png
echo "demo: open $PWD/build/demo/scope.png to see the oscilloscope's display"
# And as it moves: two seconds at real time, a triangle drifting past the sine.
build/linux/zohost --pin "Signal A=sine:440:7V" --pin "Signal B=triangle:441:4V" --window 10ms \
  --animation build/demo/scope.gif --fps 12.5 --seconds 2 --size 320x180
echo "demo: and $PWD/build/demo/scope.gif to see it move"
