#!/usr/bin/env bash
# The main command: installs what is missing and builds (tools/setup.sh), then
# runs the toolkit's tour on a freshly written small sample basin in demo/
# (docs/tour.sh): every program once, reachfeed twice, and a summary of what
# each produced and where to look.  Safe to run again: demo/ is made anew.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
echo "Build complete: programs are in build/bin/"
docs/tour.sh build/bin demo
