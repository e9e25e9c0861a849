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
          slurm-wlm munge)  # the last two: a private Slurm cluster in the tests
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

build_dir=${RN_BUILD_DIR:-build}
cmake -S . -B "$build_dir" "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
