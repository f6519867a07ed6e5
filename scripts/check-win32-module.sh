#!/usr/bin/env bash
# Checks the shipped 32-bit Windows module: a PE32 i386 DLL whose export table
# holds exactly getModuleProperties and makeModule (undecorated), and which
# imports nothing but Windows system DLLs, so it loads with no MinGW runtime
# beside it.
# Usage: scripts/check-win32-module.sh [path/to/Ondix2.zom]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
module="${1:-$root/build/win32/Ondix2.zom}"

objdump=""
for tool in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump; do
  if command -v "$tool" >/dev/null 2>&1; then objdump="$tool"; break; fi
done
if [[ -z "$objdump" ]]; then
  echo "check-win32-module: no MinGW objdump found (run scripts/setup.sh)" >&2
  exit 2
fi
if [[ ! -f "$module" ]]; then
  echo "check-win32-module: FAIL: $module does not exist" >&2
  exit 1
fi

if ! dump="$("$objdump" -p "$module" 2>&1)"; then
  echo "check-win32-module: FAIL: $objdump cannot read $module: $dump" >&2
  exit 1
fi
failures=0
fail() { echo "check-win32-module: FAIL: $*" >&2; failures=$((failures + 1)); }

# PE32 for i386, marked as a DLL.
grep -q 'file format pei-i386' <<<"$dump" || fail "not a 32-bit x86 PE file"
grep -q '(PE32)' <<<"$dump" || fail "not PE32 (wrong optional header magic)"
awk '/^Characteristics/{c=1; next} c && /^\t/{print; next} {c=0}' <<<"$dump" |
  grep -qx $'\tDLL' || fail "Characteristics lack the DLL flag"

# Export names: the lines of the [Ordinal/Name Pointer] table.
exports="$(awk '
  /^\[Ordinal\/Name Pointer\] Table/ {t=1; next}
  t && /^[[:space:]]*$/ {t=0}
  t { sub(/^[[:space:]]*\[[[:space:]]*[0-9]+\][[:space:]]*/, ""); print }
' <<<"$dump" | sort)"
expected="$(printf '%s\n' getModuleProperties makeModule | sort)"
if [[ "$exports" != "$expected" ]]; then
  fail "exports are [$(paste -sd' ' <<<"$exports")], expected [$(paste -sd' ' <<<"$expected")]"
fi

# Imports: Windows system DLLs only.
imports="$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump")"
if [[ -z "$imports" ]]; then
  fail "no import table found"
fi
while IFS= read -r dll; do
  [[ -z "$dll" ]] && continue
  lower="${dll,,}"
  case "$lower" in
    kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | ucrtbase.dll | \
      ntdll.dll | advapi32.dll | api-ms-win-*.dll) ;;
    *) fail "imports $dll, which is not a Windows system DLL" ;;
  esac
done <<<"$imports"

if ((failures > 0)); then
  exit 1
fi
echo "check-win32-module: OK: $module exports: $(paste -sd' ' <<<"$exports"); imports: $(paste -sd' ' <<<"$imports")"
