#!/usr/bin/env bash
# Unpacks every package of a release folder into a temporary folder and runs
# it from there: zohost --version, --validate and a picture. A Windows ZIP is
# run under Wine where this machine can (32-bit Wine for win32); otherwise its
# files, PE headers, imports and version resources are checked.
# Usage: check-packages.sh DIR VERSION
# Environment: ZO_VALIDATE_ARGS (default: the whole battery) narrows
# --validate, e.g. "--only lifecycle."; WINEPREFIX etc. as for the presets.
set -uo pipefail

dir="$1"
version="$2"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
read -r -a validate_args <<<"${ZO_VALIDATE_ARGS:-}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

failures=0
checked=0
fail() { echo "check-packages: FAIL: $*" >&2; failures=$((failures + 1)); }
note() { echo "check-packages: $*"; }

# The battery's closing line says none failed, and no line failed.
validate_ok() { grep -Eq '^[0-9]+ passed, 0 failed$' <<<"$1" && ! grep -q FAIL <<<"$1"; }
png_ok() { [[ -s "$1" ]] && [[ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" == 89504e470d0a1a0a ]]; }

# The one folder a package unpacks to; fails when there are other entries.
only_folder() {
  local n
  n="$(find "$1" -mindepth 1 -maxdepth 1 | wc -l)"
  ((n == 1)) && [[ -d "$(find "$1" -mindepth 1 -maxdepth 1)" ]] && find "$1" -mindepth 1 -maxdepth 1
}

has_files() {
  local base="$1" what="$2" f
  shift 2
  for f in "$@"; do
    [[ -e "$base/$f" ]] || fail "$what lacks $f"
  done
}

manual_pictures() {
  local n
  n="$(find "$1" -name '*.png' | wc -l)"
  ((n >= 8)) || fail "$2: the manual has $n pictures beside it, not at least 8"
}

# Runs the command in folder $at; its output without carriage returns.
in_folder() { (cd "$at" && "$@" 2>&1) | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# zohost from an unpacked tree, run in folder AT: its version, its module, a
# picture, the battery.
run_zohost() {
  local what="$1" module="$2" at="$3"
  shift 3
  local -a run=("$@")
  local out
  out="$(in_folder "${run[@]}" --version)"
  [[ "$out" == "zohost $version"* ]] || fail "$what: --version says \"$out\", not $version"
  out="$(in_folder "${run[@]}" --describe)" || fail "$what: --describe failed: $out"
  grep -Fq "$module" <<<"$out" || fail "$what: --describe does not use the module $module: $(head -n 2 <<<"$out")"
  out="$(in_folder "${run[@]}" --size 160x90 --seconds 0.1 --png picture.png)" || fail "$what: --png failed: $out"
  png_ok "$at/picture.png" || fail "$what: no picture written"
  if [[ "$what" != *win* ]]; then
    out="$(in_folder "${run[@]}" --size 160x90 --seconds 0.1 --no-png --animation a.webm 2>&1)" ||
      fail "$what: --animation a.webm failed: $out"
    [[ -s "$at/a.webm" ]] || fail "$what: no video written"
  fi
  out="$(in_folder "${run[@]}" --validate "${validate_args[@]}")"
  validate_ok "$out" || fail "$what: --validate: $(grep -E 'FAIL|passed' <<<"$out" | head -n 5)"
  note "$what: $(tail -n 1 <<<"$out")"
}

check_tgz() {
  local pkg="$1" dest="$tmp/tgz" top
  mkdir -p "$dest"
  (cd "$dest" && cmake -E tar xf "$pkg") || { fail "$pkg does not unpack"; return; }
  top="$(only_folder "$dest")" || { fail "$(basename "$pkg") does not unpack to one folder"; return; }
  has_files "$top" "$(basename "$pkg")" bin/zohost lib/Ondix2.zom lib/libzogdi.so lib/zohost-media.so \
    share/doc/ondix2/MANUAL.md share/doc/ondix2/THIRD-PARTY-NOTICES.txt share/doc/ondix2/CHANGELOG.md
  manual_pictures "$top/share/doc/ondix2" "$(basename "$pkg")"
  [[ -x "$top/bin/zohost" ]] || return
  run_zohost "$(basename "$pkg")" "$top/bin/../lib/Ondix2.zom" "$dest" "$top/bin/zohost"
}

check_deb() {
  local pkg="$1" dest="$tmp/deb" field deps
  for field in Package Version Depends; do
    [[ -n "$(dpkg-deb -f "$pkg" "$field" 2>/dev/null)" ]] || fail "$(basename "$pkg") has no $field"
  done
  [[ "$(dpkg-deb -f "$pkg" Version)" == "$version" ]] || fail "$(basename "$pkg"): version $(dpkg-deb -f "$pkg" Version)"
  deps="$(dpkg-deb -f "$pkg" Depends | tr ',' '\n' | sed -E 's/^ *//; s/[ (].*//')"
  for field in libc6 libstdc++6 libpng16-16 libsndfile1 libgif7 libwebpmux3 libavformat59 libavcodec59 libfreetype6 libsdl2-2.0-0 fonts-dejavu-core; do
    grep -Fxq "$field" <<<"$deps" || fail "$(basename "$pkg") does not depend on $field: $(paste -sd' ' <<<"$deps")"
  done
  mkdir -p "$dest"
  dpkg-deb -x "$pkg" "$dest" || { fail "$pkg does not unpack"; return; }
  has_files "$dest" "$(basename "$pkg")" usr/bin/zohost usr/lib/Ondix2.zom usr/lib/libzogdi.so usr/lib/zohost-media.so \
    usr/share/doc/ondix2/MANUAL.md
  [[ -x "$dest/usr/bin/zohost" ]] || return
  run_zohost "$(basename "$pkg")" "$dest/usr/bin/../lib/Ondix2.zom" "$dest" "$dest/usr/bin/zohost"
}

# PE header, DLL flag, version resource and imports of one Windows file.
check_pe() {
  local file="$1" format="$2" kind="$3" dump dll
  dump="$(objdump -p "$file" 2>&1)" || { fail "$file: not readable by objdump: $dump"; return; }
  grep -q "file format $format" <<<"$dump" || fail "$(basename "$file") is not $format: $(grep 'file format' <<<"$dump")"
  if [[ "$kind" == dll ]]; then
    grep -qP '^\tDLL$' <<<"$dump" || fail "$(basename "$file") lacks the DLL flag"
  else
    grep -qP '^\tDLL$' <<<"$dump" && fail "$(basename "$file") is a DLL, not a program"
  fi
  strings -el "$file" | grep -Fxq "$version" || fail "$(basename "$file") has no version resource of $version"
  while IFS= read -r dll; do
    case "${dll,,}" in
      libstdc++*.dll | libgcc*.dll | libwinpthread*.dll | cygwin*.dll) fail "$(basename "$file") needs $dll beside it" ;;
    esac
  done < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump")
}

check_zip() {
  local pkg="$1" dest="$tmp/zip" top arch format wine=()
  mkdir -p "$dest"
  (cd "$dest" && cmake -E tar xf "$pkg") || { fail "$pkg does not unpack"; return; }
  top="$(only_folder "$dest")" || { fail "$(basename "$pkg") does not unpack to one folder"; return; }
  has_files "$top" "$(basename "$pkg")" Ondix2.zom zohost.exe README.txt MANUAL.md CHANGELOG.md THIRD-PARTY-NOTICES.txt
  manual_pictures "$top" "$(basename "$pkg")"
  case "$pkg" in
    *-win32.zip) arch=win32 format=pei-i386 ;;
    *-win64.zip) arch=win64 format=pei-x86-64 ;;
    *) fail "$(basename "$pkg"): neither win32 nor win64"; return ;;
  esac
  [[ -f "$top/Ondix2.zom" && -f "$top/zohost.exe" ]] || return
  check_pe "$top/Ondix2.zom" "$format" dll
  check_pe "$top/zohost.exe" "$format" exe
  if [[ "$arch" == win32 ]]; then
    bash "$root/scripts/check-win32-module.sh" "$top/Ondix2.zom" >/dev/null || fail "$(basename "$pkg"): the module's exports or imports"
    [[ -x /usr/lib/wine/wine ]] && wine=(/usr/lib/wine/wine)
  else
    [[ -x /usr/lib/wine/wine64 ]] && wine=(/usr/lib/wine/wine64)
  fi
  if ((${#wine[@]} == 0)) || ! "${wine[@]}" cmd /c exit 0 >/dev/null 2>&1; then
    note "$(basename "$pkg"): files, PE headers, imports and versions checked; not run (no Wine for $arch here)"
    return
  fi
  run_zohost "$(basename "$pkg")" "Ondix2.zom" "$top" "${wine[@]}" ./zohost.exe
}

if [[ -f "$dir/SHA256SUMS" ]]; then
  (cd "$dir" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
fi
shopt -s nullglob
for pkg in "$dir"/*"$version"*.tar.gz; do check_tgz "$(realpath "$pkg")"; checked=$((checked + 1)); done
for pkg in "$dir"/*"$version"*.deb; do check_deb "$(realpath "$pkg")"; checked=$((checked + 1)); done
for pkg in "$dir"/*"$version"*.zip; do check_zip "$(realpath "$pkg")"; checked=$((checked + 1)); done
((checked > 0)) || fail "no package of $version in $dir"
if ((failures > 0)); then
  echo "check-packages: $failures failures in $checked packages" >&2
  exit 1
fi
echo "check-packages: $checked packages of $version: OK"
