#!/usr/bin/env bash
# Installs what the toolkit needs to build and test (Debian 12, as root) and
# builds it into ./build.  Safe to run again: installs only what is missing and
# rebuilds only what changed.
#   tools/setup.sh [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ make cmake pkg-config libnetcdf-dev netcdf-bin libgtest-dev
          gdal-bin libgdal-dev libxml2-utils parallel python3 python3-matplotlib
          clang libclang-rt-14-dev
          cdo nco python3-xarray python3-netcdf4 python3-dask  # users' netCDF tools, in the tests
          saga  # a desktop GIS's depression fill, bedcarve's judge in the tests
          slurm-wlm munge  # a private Slurm cluster in the tests
          libzip-dev libpng-dev chromium)  # globe packages; the browser globe of their tests
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" ||
    { apt-get update && apt-get install -y --no-install-recommends "${missing[@]}"; }
fi

# The browser globe of the globe-package tests (tests/kml/globe): its npm
# packages, as the lock file pins them, when they are missing or changed.
globe=tests/kml/globe
if ! command -v npm >/dev/null; then  # a machine without its own Node.js: Debian's
  echo "Installing: nodejs npm"
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends nodejs npm ||
    echo "setup: no npm; the browser test of the globe packages will be skipped" >&2
fi
if command -v npm >/dev/null &&
   ! cmp -s "$globe/package-lock.json" "$globe/node_modules/.installed-lock.json" 2>/dev/null; then
  echo "Installing the npm packages of $globe"
  if (cd "$globe" && npm ci --no-audit --no-fund --loglevel=error); then
    cp "$globe/package-lock.json" "$globe/node_modules/.installed-lock.json"
  else
    echo "setup: npm install of $globe failed; its browser test will be skipped" >&2
  fi
fi

build_dir=${RN_BUILD_DIR:-build}
cmake -S . -B "$build_dir" "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
