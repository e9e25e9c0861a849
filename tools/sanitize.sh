#!/usr/bin/env bash
# Builds the whole tree with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan and runs the whole test suite there (the programs that the
# end-to-end tests start are sanitized too).  Fails when any test fails or
# any sanitizer reports.
#   tools/sanitize.sh [extra ctest options...]
# Environment: RN_SANITIZE_JOBS (build and test jobs, default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${RN_SANITIZE_JOBS:-$(nproc)}
build=build-asan

cmake -S . -B "$build" -DRN_SANITIZE=ON -DRN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

# Any report ends the process with a failure; leaks count as reports.  A
# small quarantine keeps the many short-lived test processes fast.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:detect_leaks=1:quarantine_size_mb=64:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

ctest --test-dir "$build" --output-on-failure -j "$jobs" "$@"
