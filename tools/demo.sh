#!/usr/bin/env bash
# The main command: installs what is missing and builds (tools/setup.sh), then
# runs the toolkit's tour on a freshly written small sample basin in demo/
# (docs/tour.sh): every program once, reachfeed twice, and a summary of what
# each produced and where to look.  Safe to run again: demo/ is made anew.
# Like tools/setup.sh it builds into ${RN_BUILD_DIR:-build}.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
build_dir=${RN_BUILD_DIR:-build}
echo "Build complete: programs are in $build_dir/bin/"
docs/tour.sh "$build_dir/bin" demo
