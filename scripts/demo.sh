#!/usr/bin/env bash
# Builds the module and the zohost program on Linux and shows what the
# module says about itself.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
cmake --preset linux
cmake --build --preset linux -j"${ZO_JOBS:-2}"
if [[ ! -x build/linux/zohost ]]; then
  echo "demo: build/linux/zohost was not built" >&2
  exit 1
fi
build/linux/zohost --describe
