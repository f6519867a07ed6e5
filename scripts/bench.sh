#!/usr/bin/env bash
# Builds the linux preset with the benchmarks and runs them: a table of the
# medians against the physical limits and the budgets, the JSON of every run
# in build/bench/results.json, the whole zohost program over a minute of
# audio, and, when Wine and a win64 build are there, the same paints on
# Wine's GDI beside ours.
#
#   scripts/bench.sh [GOOGLE-BENCHMARK-OPTIONS...]
#
# ZO_BENCH_REPS repetitions of each benchmark (default 5), ZO_JOBS build
# parallelism (default 2). Expect noise on a shared machine: the table
# quotes the load average.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root="$PWD"
jobs="${ZO_JOBS:-2}"
reps="${ZO_BENCH_REPS:-5}"
out="$root/build/bench"

bash scripts/setup.sh linux

# The benchmarks are an option of the build; turn it on where the preset has not.
cmake --preset linux >/dev/null
if ! grep -qE '^ZO_BUILD_BENCH:[A-Z]+=(ON|1|TRUE|YES)$' build/linux/CMakeCache.txt; then
  cmake --preset linux -DZO_BUILD_BENCH=ON >/dev/null
fi
cmake --build --preset linux -j"$jobs" --target ondix_bench ondix_paint_timer zohost

mkdir -p "$out"
echo "===== benchmarks ($reps repetitions; load average: $(cut -d' ' -f1-3 /proc/loadavg))"
# Repetitions of all benchmarks interleaved at random, so that a change of
# load falls on a benchmark and its limit alike.
build/linux/bench/ondix_bench --benchmark_repetitions="$reps" --benchmark_display_aggregates_only=true \
  --benchmark_enable_random_interleaving=true \
  --benchmark_out="$out/results.json" --benchmark_out_format=json "$@" | tee "$out/summary.txt"
echo "JSON of every run: $out/results.json"

# Wall and CPU (user + system) time in ms of a command, the median of three
# runs by wall time: "WALL CPU".
median_ms() {
  local runs=() line
  for _ in 1 2 3; do
    line=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -1)
    runs+=("$(awk '{ printf "%d %d", $1 * 1000, ($2 + $3) * 1000 }' <<<"$line")")
  done
  printf '%s\n' "${runs[@]}" | sort -n | sed -n 2p
}

echo
echo "===== whole host: zohost over 60 s of two generated channels (440 Hz sine, 660 Hz triangle),"
echo "      blocks of 512, median of 3; goal: 2000 x real time. CPU time counts only zohost's own"
echo "      work, wall time also what the machine's other load takes from it."
seconds=60
for mode in "--no-png" "--png $out/zohost.png"; do
  # shellcheck disable=SC2086
  read -r wall cpu < <(median_ms build/linux/zohost --seconds "$seconds" $mode -q)
  awk -v wall="$wall" -v cpu="$cpu" -v s="$seconds" -v m="$mode" 'BEGIN {
    if (wall < 1) wall = 1; if (cpu < 1) cpu = 1;
    printf "%-12s wall %6d ms %7.0f x real time   cpu %6d ms %7.0f x real time%s\n",
           (m == "--no-png" ? "no picture" : "last picture"), wall, s * 1000 / wall, cpu, s * 1000 / cpu,
           (s * 1000 / cpu >= 2000 ? "" : "   (below 2000 x)") }'
done

wine=/usr/lib/wine/wine64
if [[ ! -x "$wine" || ! -f build/win64/CMakeCache.txt ]]; then
  echo
  echo "(no Wine or no win64 build: paint on Wine's GDI not compared)"
  exit 0
fi

echo
echo "===== paint: our drawing library and Wine's GDI, the same program (wall clock, 21 batches)"
if ! grep -qE '^ZO_BUILD_BENCH:[A-Z]+=(ON|1|TRUE|YES)$' build/win64/CMakeCache.txt; then
  cmake --preset win64 -DZO_BUILD_BENCH=ON >/dev/null
fi
if ! cmake --build --preset win64 -j"$jobs" --target ondix_paint_timer >"$out/win64-build.log" 2>&1; then
  cat "$out/win64-build.log" >&2
  exit 1
fi
wine_env=(WINEPREFIX="$root/build/.wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=")
if [[ ! -d "$root/build/.wine" ]]; then
  env "${wine_env[@]}" "$wine" wineboot --init >/dev/null 2>&1 || true
fi
build/linux/bench/ondix_paint_timer >"$out/paint_ours.tsv"
env "${wine_env[@]}" "$wine" build/win64/bench/ondix_paint_timer.exe | tr -d '\r' >"$out/paint_wine.tsv"
awk -F'\t' '
  FNR == 1 { next }
  NR == FNR { median[$1] = $2; fastest[$1] = $3; order[++n] = $1; next }
  { wmedian[$1] = $2; wfastest[$1] = $3 }
  END {
    printf "%-24s %24s %24s %18s\n", "", "ours ms", "Wine ms", "ours/Wine"
    printf "%-24s %12s %11s %12s %11s %9s %8s\n", "scene", "median", "fastest", "median", "fastest", "median", "fastest"
    for (i = 1; i <= n; ++i) {
      s = order[i]
      if (s in wmedian)
        printf "%-24s %12.3f %11.3f %12.3f %11.3f %9.3f %8.3f\n", s, median[s], fastest[s], wmedian[s], wfastest[s],
               median[s] / wmedian[s], fastest[s] / wfastest[s]
      else printf "%-24s %12.3f %11.3f %12s %11s %9s %8s\n", s, median[s], fastest[s], "-", "-", "-", "-"
    }
  }' "$out/paint_ours.tsv" "$out/paint_wine.tsv" | tee "$out/paint_vs_wine.txt"
