#!/usr/bin/env bash
# The negative control of manual_pictures: in a copy of the manual, two
# committed pictures swapped, and one picture that no command makes; the
# check must fail and name all three.
# Usage: manual_control.sh SOURCE_DIR [manual-pictures.sh options]
set -uo pipefail

src="$1"
shift
docs="$(mktemp -d)"
trap 'rm -rf "$docs"' EXIT
cp "$src/docs/MANUAL.md" "$docs/"
cp -r "$src/docs/manual" "$docs/"
mapfile -t pictures < <(grep -oE -- '--png manual/[A-Za-z0-9_-]+\.png$' "$docs/MANUAL.md" | sed 's/^--png //' | head -n 2)
if ((${#pictures[@]} < 2)); then
  echo "manual_control: the manual has fewer than two pictures" >&2
  exit 1
fi
mv "$docs/${pictures[0]}" "$docs/swap.png"
mv "$docs/${pictures[1]}" "$docs/${pictures[0]}"
mv "$docs/swap.png" "$docs/${pictures[1]}"
cp "$docs/${pictures[0]}" "$docs/manual/orphan.png"

if out="$(bash "$src/scripts/manual-pictures.sh" --check --docs "$docs" "$@" 2>&1)"; then
  echo "manual_control: FAIL: the check passed swapped pictures: $out" >&2
  exit 1
fi
for expect in "docs/${pictures[0]} differs" "docs/${pictures[1]} differs" "docs/manual/orphan.png is made by no command"; do
  if ! grep -Fq "$expect" <<<"$out"; then
    echo "manual_control: FAIL: the check did not say \"$expect\": $out" >&2
    exit 1
  fi
done
echo "manual_control: the check fails on swapped and stray pictures, as it must"
