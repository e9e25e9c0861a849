#!/usr/bin/env bash
# The depression-fill benchmark on sample-basin terrain (medium: 1000 x 1000,
# national: 4000 x 4000) and on the benchmark's own generated terrain of the
# same sizes, then the whole program on the sample-basin files.
#   bench/bedcarve/run_bench.sh [build-dir]     (default: build)
# The sample basins are kept in $RN_BENCH_DATA (default /tmp/rn-bench-data).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
data=${RN_BENCH_DATA:-/tmp/rn-bench-data}
cmake --build "$build" --target bedcarve bedcarve_bench samplebasin -j2 >/dev/null
for preset in medium national; do
  if [[ ! -f "$data/$preset/child/terrain.nc" ]]; then
    echo "writing the $preset sample basin to $data/$preset ..."
    "$build/bin/samplebasin" --preset "$preset" "$data/$preset" >/dev/null
  fi
done
"$build/bin/bedcarve_bench" "$data/medium/child/terrain.nc" "$data/national/child/terrain.nc" 1000 4000
echo
echo "whole program (netCDF in and out, records to /dev/null):"
for preset in medium national; do
  out=$(mktemp -d)
  /usr/bin/time -f "  $preset: %e s wall, %U s user, %S s system, peak %M KB" \
    "$build/bin/bedcarve" "$data/$preset/child/terrain.nc" "$out/conditioned.nc" >/dev/null 2>"$out/err" || true
  grep -v '^STOP finish$' "$out/err" || true
  rm -rf "$out"
done
