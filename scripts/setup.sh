#!/usr/bin/env bash
# Installs the Debian packages (Debian 12) that the builds need: with no
# argument (or "all") those of the whole build matrix, with "linux" only those
# of the linux preset (no cross compilers, Wine, qemu nor i386 architecture).
# Idempotent: when all of them are installed already it touches nothing.
#
#   scripts/setup.sh [all|linux|release]
set -euo pipefail

linux_packages=(
  cmake ninja-build pkg-config g++
  # GoogleTest is built from these sources in every preset.
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  # Drawing on Linux, and the zohost program (its animations through giflib).
  libfreetype-dev fonts-dejavu-core libcli11-dev libpng-dev libsndfile1-dev libgif-dev
  # zohost --animation's WebP and video (.mp4, .webm, .mkv), and ffprobe and
  # ffmpeg, which its tests read them back with.
  libwebp-dev libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  # zohost --live (SDL2), and its tests: a virtual X display, keys sent to
  # the window, and screenshots taken from outside the program.
  libsdl2-dev xvfb xdotool x11-apps
  # The .deb of the release and its test: dependencies found by dpkg-shlibdeps.
  dpkg-dev
  # The check of zohost --validate's JUnit and JSON reports.
  python3
)
case "${1:-all}" in
linux)
  packages=("${linux_packages[@]}")
  ;;
release)
  # scripts/release.sh: the linux preset and the win32 compilers.
  packages=("${linux_packages[@]}" g++-mingw-w64-i686-posix mingw-w64-tools)
  ;;
all)
  packages=(
    "${linux_packages[@]}"
    clang
    # linux-x86: -m32 toolchain, i386 FreeType, and qemu-i386 to run the tests.
    g++-multilib libfreetype-dev:i386 qemu-user
    # win32 / win64: MinGW (posix threads), objdump for the export check, Wine.
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64
    # win32: the 32-bit Wine loader (/usr/lib/wine/wine) runs the 32-bit test programs.
    wine32:i386
    # zohost.exe's live window under Wine: the screenshot cut out and compared
    # with the PNG (xwdtopnm, pamcut, pngtopnm), and a private sound server
    # whose null sinks feed waveIn from a file and take what waveOut plays.
    netpbm pulseaudio pulseaudio-utils
  )
  ;;
*)
  echo "usage: scripts/setup.sh [all|linux|release]" >&2
  exit 2
  ;;
esac

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
if [[ " ${packages[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
# A mirror in the middle of a sync can fail one index; what the others list
# is usually enough to install from, so a last failure is only a warning.
updated=0
for try in 1 2 3; do
  if "${as_root[@]}" apt-get update; then updated=1; break; fi
  echo "setup: apt-get update failed (try $try of 3)" >&2
  sleep $((try * 5))
done
if ((updated == 0)); then
  echo "setup: going on with the package lists as they are" >&2
fi
# Recommends would add hundreds of i386 desktop libraries.
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
