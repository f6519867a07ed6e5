#!/usr/bin/env bash
# Builds and tests every preset of the matrix, then prints the totals.
# Usage: scripts/test-all.sh [preset...]   (default: all presets)
# Environment: ZO_JOBS (default 2), ZO_FRESH=1 to reconfigure from scratch,
# ZO_NO_32BIT=1 to act as on a kernel that cannot execute 32-bit programs.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

all_presets=(linux linux-asan linux-tsan linux-fuzz linux-x86 win32 win64)
if (($# > 0)); then
  presets=("$@")
else
  presets=("${all_presets[@]}")
fi
jobs="${ZO_JOBS:-2}"
fresh=()
if [[ "${ZO_FRESH:-0}" == 1 ]]; then fresh=(--fresh); fi

bash scripts/setup.sh || {
  echo "test-all: scripts/setup.sh failed" >&2
  echo "0 passed, 1 failed, 0 skipped"
  exit 1
}

# Wine settings; the same as the win64 and win32 test presets' environments.
wine_env=(WINEPREFIX="$root/build/.wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
wine32_env=(WINEPREFIX="$root/build/.wine32" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")

# Some kernels cannot execute i386 code; then neither Wine's 32-bit loader
# nor qemu-i386 runs anything. Asked once, of a tiny 32-bit program.
i386_native=unknown
i386_qemu=unknown
probe_i386() {
  [[ "$i386_native" != unknown ]] && return
  i386_native=no
  i386_qemu=no
  [[ "${ZO_NO_32BIT:-0}" == 1 ]] && return
  local dir
  dir="$(mktemp -d)"
  printf 'int main(void) { return sizeof(void*) == 4 ? 0 : 1; }\n' >"$dir/t.c"
  if gcc -m32 -o "$dir/t" "$dir/t.c" >/dev/null 2>&1; then
    "$dir/t" >/dev/null 2>&1 && i386_native=yes
    command -v qemu-i386 >/dev/null 2>&1 && qemu-i386 "$dir/t" >/dev/null 2>&1 && i386_qemu=yes
  fi
  rm -rf "$dir"
}
# Whether the preset's test programs can run here ("yes" for 64-bit ones).
can_run() {
  case "$1" in
    win32) probe_i386; [[ "$i386_native" == yes ]] ;;
    linux-x86) probe_i386; [[ "$i386_qemu" == yes ]] ;;
    *) true ;;
  esac
}

total_passed=0
total_failed=0
total_skipped=0
loud=()
summary=()
run_start=$SECONDS

fmt_time() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# Runs ctest for one preset; sets passed/failed from its closing line.
run_ctest() {
  local preset="$1" log
  log="$(mktemp)"
  ctest --preset "$preset" --output-on-failure -j"$jobs" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)"
  rm -f "$log"
  if [[ -z "$line" ]]; then
    echo "test-all: $preset: ctest ran no test (exit $rc)" >&2
    passed=0
    failed=1
    return
  fi
  local failed_n total_n
  failed_n="$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
  total_n="$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")"
  passed=$((total_n - failed_n))
  failed=$failed_n
  if ((rc != 0 && failed == 0)); then
    failed=1
  fi
}

for preset in "${presets[@]}"; do
  start=$SECONDS
  passed=0
  failed=0
  skipped=0
  note=""
  echo
  echo "===== $preset: configure"
  if ! cmake --preset "$preset" "${fresh[@]}" 2>&1; then
    failed=1
    note="configure failed"
  else
    echo "===== $preset: build"
    if ! cmake --build --preset "$preset" -j"$jobs" 2>&1; then
      failed=1
      note="build failed"
    elif ! can_run "$preset"; then
      skipped="$(ctest --preset "$preset" -N 2>/dev/null | sed -n 's/^Total Tests: *//p')"
      skipped="${skipped:-0}"
      if ((skipped == 0)); then
        failed=1
        note="cannot count its tests"
      else
        note="not run"
      fi
      loud+=("$preset: $skipped tests not run: this kernel cannot execute 32-bit programs")
      echo "===== ${loud[-1]}"
    else
      if [[ "$preset" == win32 ]]; then
        echo "===== $preset: wine prefix"
        env "${wine32_env[@]}" /usr/lib/wine/wine wineboot --init >/dev/null 2>&1 ||
          echo "test-all: wineboot failed; tests may still create the prefix" >&2
        timeout 120 env "${wine32_env[@]}" /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
      fi
      if [[ "$preset" == win64 ]]; then
        # Create the Wine prefix once, before tests start Wine in parallel.
        echo "===== $preset: wine prefix"
        env "${wine_env[@]}" /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 ||
          echo "test-all: wineboot failed; tests may still create the prefix" >&2
        timeout 120 env "${wine_env[@]}" /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
      fi
      echo "===== $preset: test"
      run_ctest "$preset"
    fi
  fi
  elapsed=$((SECONDS - start))
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  line="$(printf '%-11s passed %4d  failed %4d  skipped %4d  time %s' "$preset" "$passed" "$failed" "$skipped" \
    "$(fmt_time $elapsed)")"
  [[ -n "$note" ]] && line+="  ($note)"
  summary+=("$line")
  echo "===== $line"
done

echo
echo "===== summary (total time $(fmt_time $((SECONDS - run_start))))"
printf '%s\n' "${summary[@]}"
if ((${#loud[@]} > 0)); then
  echo
  printf '%s\n' "${loud[@]}"
  echo
fi
echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
if ((total_failed > 0)); then
  exit 1
fi
