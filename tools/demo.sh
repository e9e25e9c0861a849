#!/usr/bin/env bash
# Sets up (dependencies, build) and runs the toolkit on a small bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
echo "Build complete: programs are in build/bin/"
ls build/bin
