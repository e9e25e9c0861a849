#!/usr/bin/env bash
# Builds the fuzzers with clang into build-fuzz, writes their seed corpora
# from the reference vectors, and runs each fuzzer for a fixed number of
# executions (the netCDF input fuzzers, which write a file and run a
# program's readers per input, for a fixed time instead).  Fails on any
# finding (crash, sanitizer report, broken invariant, hang, memory
# blow-up); the input that caused it is kept in build-fuzz/findings/.
#   tools/fuzz-smoke.sh [runs per text fuzzer, default 200000]
# Environment: RN_FUZZ_JOBS (build jobs, default 2), RN_FUZZ_TARGETS (a
# blank-separated subset of the fuzzers, default all), RN_FUZZ_NC_SECONDS
# (seconds per netCDF input fuzzer, default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-200000}
jobs=${RN_FUZZ_JOBS:-2}
nc_seconds=${RN_FUZZ_NC_SECONDS:-20}
targets=${RN_FUZZ_TARGETS:-"list_values list_input site_list namelist dates text_record
  nc_nesting nc_kml nc_linkweaver nc_siteseries nc_terrain
  nc4_nesting nc4_kml nc4_linkweaver nc4_siteseries nc4_terrain"}
# Absolute: the netCDF input fuzzers work in a folder of their own.
build=$PWD/build-fuzz

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DRN_FUZZ=ON -DRN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target rn_fuzzers -j "$jobs"

rm -rf "$build/seeds"
"$build/bin/fuzz_seeds" tests/data/vectors "$build/seeds"
mkdir -p "$build/findings"

# A small quarantine keeps the allocator from touching fresh pages on every
# input (about three times faster) and still catches use after free.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# The netCDF and HDF5 libraries keep a few bytes after some damaged files.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/fuzz/lsan.supp}

failed=()
for t in $targets; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  log="$build/findings/$t.log"
  start=$SECONDS
  seeds="$build/seeds/${t/nc4_/nc_}"  # both netCDF families share their seeds
  case $t in
    # Files of a few hundred bytes written and read per input; their stderr
    # (one refusal line per damaged file) is closed.
    nc_*) limits=(-max_total_time="$nc_seconds" -max_len=512 -malloc_limit_mb=1024 -close_fd_mask=2) ;;
    # netCDF-4: the HDF5 library keeps blocks on free lists after a file, so
    # the per-input leak search would scan the heap after nearly every input
    # and find nothing; leaks are still searched when the run ends.
    nc4_*) limits=(-max_total_time="$nc_seconds" -max_len=512 -malloc_limit_mb=1024 -close_fd_mask=2
                   -detect_leaks=0) ;;
    *) limits=(-runs="$runs" -max_len=4096) ;;
  esac
  if "$build/bin/fuzz_$t" "${limits[@]}" -seed=1 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$build/findings/$t-" \
       "$corpus" "$seeds" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf 'fuzz_%-14s ok      %9s executions in %4d s\n' "$t" "$execs" $((SECONDS - start))
  else
    printf 'fuzz_%-14s FAILED  (log: %s)\n' "$t" "$log"
    grep -E 'invariant broken|ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -5 || true
    failed+=("$t")
  fi
done

if ((${#failed[@]})); then
  echo "fuzz smoke run: findings in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz smoke run: no findings"
