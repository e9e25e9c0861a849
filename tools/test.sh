#!/usr/bin/env bash
# Sets up (dependencies, build) and runs the whole test suite: the tests of the
# release build, the same tests again built with AddressSanitizer and
# UndefinedBehaviorSanitizer, and a smoke run of every fuzzer.
#   tools/test.sh           everything (what continuous integration runs)
#   tools/test.sh --quick   the release build's tests only
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: tools/test.sh [--quick]" >&2; exit 2 ;;
esac

tools/setup.sh
echo "== tests of the release build"
ctest --test-dir build --output-on-failure -j "$(nproc)"
if ((quick)); then exit 0; fi

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
tools/sanitize.sh
echo "== fuzz smoke run"
tools/fuzz-smoke.sh
