#!/usr/bin/env bash
# The depression-fill benchmark (docs/bedcarve-scale.md): bedcarve with its
# records against the yardstick priority flood on the three kinds of terrain
# at 1000 x 1000 and 4000 x 4000 (also with 64-bit cell numbers), the 283
# M-cell national grid of rough terrain, then the whole program on the
# sample-basin terrains.  Run on an otherwise idle machine.
#   bench/bedcarve/run_bench.sh [build-dir]     (default: build)
# The sample basins are kept in $RN_BENCH_DATA (default /tmp/rn-bench-data).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
data=${RN_BENCH_DATA:-/tmp/rn-bench-data}
echo "load: $(cut -d' ' -f1-3 /proc/loadavg) (figures count only on an idle machine)"
cmake --build "$build" --target bedcarve bedcarve_bench samplebasin -j2 >/dev/null
"$build/bin/bedcarve_bench" --wide 1000 4000
echo
"$build/bin/bedcarve_bench" --runs 1 rough:18432x15360
echo
for preset in medium national; do
  if [[ ! -f "$data/$preset/child/terrain.nc" ]]; then
    echo "writing the $preset sample basin to $data/$preset ..."
    "$build/bin/samplebasin" --preset "$preset" "$data/$preset" >/dev/null
  fi
done
echo "whole program (netCDF in and out, records to a file):"
for preset in medium national; do
  out=$(mktemp -d)
  /usr/bin/time -f "  $preset: %e s wall, %U s user, %S s system, peak %M KB" \
    "$build/bin/bedcarve" "$data/$preset/child/terrain.nc" "$out/conditioned.nc" \
    >"$out/records.txt" 2>"$out/err" || true
  grep -v '^STOP finish$' "$out/err" || true
  rm -rf "$out"
done
