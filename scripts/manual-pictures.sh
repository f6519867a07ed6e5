#!/usr/bin/env bash
# The pictures of docs/MANUAL.md are made by the zohost commands written
# beside them: every line of the manual that starts with "zohost " (indented
# or not) and ends
# with "--png manual/NAME.png". This runs each of those commands and
#   --check  compares what it draws with the committed docs/manual/NAME.png,
#            pixel for pixel, and fails when one differs, is missing, or is
#            not made by any command;
#   --write  puts the new pictures in docs/manual/ (each renamed into place).
# Usage: scripts/manual-pictures.sh --check|--write [--zohost PATH] [--compare PATH] [--docs DIR]
# Defaults: the linux preset's zohost and png_same, DIR = docs.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode=""
zohost="$root/build/linux/zohost"
compare="$root/build/linux/tests/release/png_same"
docs="$root/docs"
while (($# > 0)); do
  case "$1" in
    --check | --write) mode="${1#--}" ;;
    --zohost) zohost="$2"; shift ;;
    --compare) compare="$2"; shift ;;
    --docs) docs="$2"; shift ;;
    *) echo "usage: $0 --check|--write [--zohost PATH] [--compare PATH] [--docs DIR]" >&2; exit 2 ;;
  esac
  shift
done
if [[ -z "$mode" ]]; then
  echo "usage: $0 --check|--write [--zohost PATH] [--compare PATH] [--docs DIR]" >&2
  exit 2
fi
for tool in "$zohost" "$compare"; do
  if [[ ! -x "$tool" ]]; then
    echo "manual-pictures: $tool is not built (cmake --build --preset linux)" >&2
    exit 2
  fi
done
manual="$docs/MANUAL.md"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/manual"

mapfile -t commands < <(sed -nE 's/^[[:space:]]*(zohost .*--png manual\/[A-Za-z0-9_-]+\.png)$/\1/p' "$manual")
if ((${#commands[@]} < 8)); then
  echo "manual-pictures: $manual has ${#commands[@]} picture commands, fewer than 8" >&2
  exit 1
fi

failures=0
made=()
args=()
for command in "${commands[@]}"; do
  name="${command##* }"
  # The manual's own quoting: its commands are the project's, not input.
  eval "args=(${command#zohost })"
  if ! out="$(cd "$work" && "$zohost" "${args[@]}" 2>&1 >/dev/null)"; then
    echo "manual-pictures: FAIL: $command: $out" >&2
    failures=$((failures + 1))
    continue
  fi
  grep -Fq "($name)" "$manual" || { echo "manual-pictures: FAIL: $name is made but not shown" >&2; failures=$((failures + 1)); }
  made+=("$name")
  if [[ "$mode" == check ]]; then
    if [[ ! -f "$docs/$name" ]]; then
      echo "manual-pictures: FAIL: docs/$name is not committed" >&2
      failures=$((failures + 1))
    elif ! diff="$("$compare" "$docs/$name" "$work/$name" 2>&1)"; then
      echo "manual-pictures: FAIL: docs/$name differs from what its command draws now: $diff" >&2
      failures=$((failures + 1))
    fi
  else
    cp "$work/$name" "$docs/$name.tmp" && mv -f "$docs/$name.tmp" "$docs/$name"
  fi
done

# A picture that no command makes any more would go stale unseen.
for f in "$docs"/manual/*.png; do
  [[ -e "$f" ]] || continue
  rel="manual/$(basename "$f")"
  if [[ " ${made[*]} " != *" $rel "* ]]; then
    echo "manual-pictures: FAIL: docs/$rel is made by no command of the manual" >&2
    failures=$((failures + 1))
  fi
done

if ((failures > 0)); then
  echo "manual-pictures: $failures of ${#commands[@]} pictures wrong; after checking the change, regenerate them with: bash scripts/manual-pictures.sh --write" >&2
  exit 1
fi
if [[ "$mode" == check ]]; then
  echo "manual-pictures: the ${#commands[@]} pictures match their commands"
else
  echo "manual-pictures: ${#commands[@]} pictures written to $docs/manual"
fi
