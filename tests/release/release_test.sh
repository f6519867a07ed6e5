#!/usr/bin/env bash
# cpack on a built tree, then its packages unpacked and run
# (check-packages.sh); and the checker's controls: a package without its
# module or with another library in its place, a .deb without dependencies,
# a Windows module that is no DLL and a wrong checksum must fail.
# Usage: release_test.sh BUILD_DIR VERSION "GENERATORS" WORK_PARENT
set -uo pipefail

build="$1"
version="$2"
generators="$3"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
mkdir -p "$4"
work="$(mktemp -d "$4/run.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# The battery's quick part: the whole of it is scripts/release.sh's check.
export ZO_VALIDATE_ARGS="${ZO_VALIDATE_ARGS:---only lifecycle. --only paint.}"

if ! out="$(cpack -G "$generators" --config "$build/CPackConfig.cmake" -B "$work/pkg" 2>&1)"; then
  echo "release_test: cpack failed: $out" >&2
  exit 1
fi
rm -rf "$work/pkg/_CPack_Packages"
(cd "$work/pkg" && sha256sum -- * >SHA256SUMS)
ls -l "$work/pkg"
bash "$here/check-packages.sh" "$work/pkg" "$version" || exit 1

# Each control: one damaged copy of a package alone in a folder; the checker
# must fail on it and say why.
failures=0
control() {
  local what="$1" expect="$2" dir="$3" out
  if out="$(bash "$here/check-packages.sh" "$dir" "$version" 2>&1)"; then
    echo "release_test: FAIL: the checker passed $what" >&2
    failures=$((failures + 1))
  elif ! grep -Fq -- "$expect" <<<"$out"; then
    echo "release_test: FAIL: on $what the checker did not say \"$expect\": $out" >&2
    failures=$((failures + 1))
  else
    echo "release_test: control ok: $what"
  fi
}

shopt -s nullglob
# damaged_tgz PKG WHAT EXPECT COMMAND...: PKG unpacked, COMMAND run in the
# unpacked folder's parent (the folder is $top), packed again, checked.
damaged_tgz() {
  local pkg="$1" what="$2" expect="$3" name
  shift 3
  name="$(basename "$pkg")"
  rm -rf "$work/tgz-in" "$work/tgz-out"
  mkdir -p "$work/tgz-in" "$work/tgz-out"
  # shellcheck disable=SC2034 # $top is for the command's text
  (cd "$work/tgz-in" && cmake -E tar xf "$pkg" && top="${name%.tar.gz}" && eval "$*" &&
    cmake -E tar czf "$work/tgz-out/$name" -- *)
  control "$what" "$expect" "$work/tgz-out"
}
for pkg in "$work"/pkg/*.tar.gz; do
  damaged_tgz "$pkg" "a tarball without its module" "lacks lib/Ondix2.zom" 'rm "$top/lib/Ondix2.zom"'
  # A module file that loads but is no module: only running zohost shows it.
  damaged_tgz "$pkg" "a tarball whose module is another library" "--validate:" \
    'cp "$top/lib/libzogdi.so" "$top/lib/Ondix2.zom"'
  damaged_tgz "$pkg" "a tarball with a stray file beside its folder" "does not unpack to one folder" \
    'echo stray >stray.txt'
done
for pkg in "$work"/pkg/*.deb; do
  mkdir -p "$work/deb-out"
  dpkg-deb -R "$pkg" "$work/deb-in"
  sed -i '/^Depends:/d' "$work/deb-in/DEBIAN/control"
  dpkg-deb -b "$work/deb-in" "$work/deb-out/$(basename "$pkg")" >/dev/null
  control "a .deb that declares no dependencies" "has no Depends" "$work/deb-out"
done
for pkg in "$work"/pkg/*.zip; do
  name="$(basename "$pkg")"
  mkdir -p "$work/zip-in" "$work/zip-out"
  (cd "$work/zip-in" && cmake -E tar xf "$pkg" && cp "${name%.zip}/zohost.exe" "${name%.zip}/Ondix2.zom" &&
    cmake -E tar cf "$work/zip-out/$name" --format=zip "${name%.zip}")
  control "a ZIP whose module is a program" "Ondix2.zom lacks the DLL flag" "$work/zip-out"
done
mkdir -p "$work/sums"
for pkg in "$work"/pkg/*.tar.gz "$work"/pkg/*.zip; do
  cp "$pkg" "$work/sums/"
  printf '%064d  %s\n' 0 "$(basename "$pkg")" >"$work/sums/SHA256SUMS"
  control "a wrong checksum" "SHA256SUMS does not match" "$work/sums"
  break
done
exit $((failures > 0))
