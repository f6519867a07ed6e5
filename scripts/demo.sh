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
