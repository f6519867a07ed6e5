#!/usr/bin/env bash
# Builds the release and writes it to build/release/:
#   Ondix2-<version>-win32.zip                 the module, zohost.exe, read-me, manual, notices
#   Ondix2-<version>-linux-x86_64.tar.gz       bin/zohost, lib/Ondix2.zom, lib/libzogdi.so, docs
#   ondix2_<version>_amd64.deb                 the same under /usr, dependencies declared
#   SHA256SUMS                                 over the three
# then unpacks them and checks them (tests/release/check-packages.sh).
# Usage: scripts/release.sh        Environment: ZO_JOBS (default 2).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="${ZO_JOBS:-2}"
out="$root/build/release"

bash scripts/setup.sh release

echo "===== linux: configure and build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs" --target zohost Ondix2 zogdi
echo "===== win32: configure and build"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs" --target zohost Ondix2

version="$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' build/linux/CPackConfig.cmake)"
shown="$(build/linux/zohost --version)"
if [[ -z "$version" || "$shown" != "zohost $version"* ]]; then
  echo "release: zohost --version says \"$shown\", the project \"$version\"" >&2
  exit 1
fi

# cpack works in a folder of its own; only the finished packages move out,
# each renamed into place.
work="$(mktemp -d "$root/build/release-work.XXXXXX")"
trap 'rm -rf "$work"' EXIT
echo "===== packages of $version"
cpack --config build/linux/CPackConfig.cmake -B "$work/linux" >/dev/null
cpack --config build/win32/CPackConfig.cmake -B "$work/win32" >/dev/null
mkdir -p "$out" "$work/out"
packages=()
for f in "$work"/linux/*.tar.gz "$work"/linux/*.deb "$work"/win32/*.zip; do
  name="$(basename "$f")"
  if [[ "$name" != *"$version"* ]]; then
    echo "release: $name does not carry the version $version" >&2
    exit 1
  fi
  mv "$f" "$work/out/$name"
  packages+=("$name")
done
(cd "$work/out" && sha256sum "${packages[@]}" >SHA256SUMS)
for name in "${packages[@]}" SHA256SUMS; do
  mv -f "$work/out/$name" "$out/$name"
done

echo "===== check"
# The ZIP runs under 32-bit Wine where this machine has it, in the win32
# preset's prefix.
export WINEPREFIX="$root/build/.wine32" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ -x /usr/lib/wine/wine && ! -d "$WINEPREFIX" ]]; then
  /usr/lib/wine/wine wineboot --init >/dev/null 2>&1 || echo "release: wineboot failed" >&2
  timeout 120 /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
fi
bash tests/release/check-packages.sh "$out" "$version"
echo "release: $out"
(cd "$out" && ls -l "${packages[@]}" SHA256SUMS)
