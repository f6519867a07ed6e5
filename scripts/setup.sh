#!/usr/bin/env bash
# Installs every Debian package that the build matrix needs (Debian 12).
# Idempotent: when all of them are installed already it touches nothing.
set -euo pipefail

packages=(
  cmake ninja-build pkg-config
  g++ clang
  # GoogleTest is built from these sources in every preset.
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  # linux-x86: -m32 toolchain, i386 FreeType, and qemu-i386 to run the tests.
  g++-multilib libfreetype-dev:i386 qemu-user
  # Drawing on Linux, and the zohost program.
  libfreetype-dev fonts-dejavu-core libcli11-dev libpng-dev libsndfile1-dev
  # zohost --live (SDL2), and its tests: a virtual X display, keys sent to
  # the window, and screenshots taken from outside the program.
  libsdl2-dev xvfb xdotool x11-apps
  # win32 / win64: MinGW (posix threads), objdump for the export check, Wine.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64
)

# A package installed for two architectures answers with two lines; an
# unqualified name means the native one (or an architecture-free package).
native="$(dpkg --print-architecture)"
installed="$(dpkg-query -W -f='${binary:Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
  awk '$2 == "install" && $3 == "ok" && $4 == "installed" {print $1}' || true)"
missing=()
for pkg in "${packages[@]}"; do
  if [[ "$pkg" == *:* ]]; then
    names=("$pkg")
  else
    names=("$pkg" "$pkg:$native")
  fi
  found=0
  for name in "${names[@]}"; do
    if grep -qxF "$name" <<<"$installed"; then found=1; fi
  done
  if ((found == 0)); then
    missing+=("$pkg")
  fi
done
need_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
fi

if ((${#missing[@]} == 0 && need_i386 == 0)); then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

as_root=()
if [[ "$(id -u)" != 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "setup: need root (or sudo) to install: ${missing[*]}" >&2
    exit 1
  fi
fi

echo "setup: installing: ${missing[*]}"
if ((need_i386)); then
  "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
# Recommends would add wine32 and hundreds of i386 desktop libraries.
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
