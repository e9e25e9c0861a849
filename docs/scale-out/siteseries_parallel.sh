#!/usr/bin/env bash
# Runs siteseries over a long series of hourly forcing files with GNU
# parallel: the hours are cut into blocks, one siteseries run per block, all
# writing their hourly text files into one folder, on this machine or spread
# over ssh hosts that see the same folders.
#
#   siteseries_parallel.sh [-j JOBS] [-S SSHLOGINS] [-b HOURS] OUT_DIR \
#       usArea latlonType startDate Hrs suffix inDir pointFile
#
#   -j JOBS        concurrent runs per host (default: the number of cores)
#   -S SSHLOGINS   hosts for GNU parallel's --sshlogin (":" is this machine)
#   -b HOURS       hours per run (default 1)
#   OUT_DIR        receives <YYYYMMDDHH>.txt for every hour, and logs/
#   the rest       siteseries' own arguments (siteseries --help)
#
# Each hour's file is written whole under a temporary name and renamed into
# place, and an hour whose file exists is skipped, so a rerun after a failure
# or an interruption only makes the hours still missing.  Ends with status 0
# when every run succeeded, else with the number of failed runs (see
# logs/joblog.tsv).
set -euo pipefail

usage() {
  echo "usage: $0 [-j JOBS] [-S SSHLOGINS] [-b HOURS] OUT_DIR" \
       "usArea latlonType startDate Hrs suffix inDir pointFile" >&2
  exit 1
}
jobs=$(nproc)
hosts=()
block=1
while getopts j:S:b: opt; do
  case $opt in
    j) jobs=$OPTARG ;;
    S) hosts=(--sshlogin "$OPTARG") ;;
    b) block=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
(($# == 8)) || usage
[[ $block =~ ^[1-9][0-9]*$ ]] || usage
mkdir -p "$1/logs"
outdir=$(cd "$1" && pwd)
us_area=$2 latlon_type=$3 start=${4:0:10} hrs=$5 suffix=$6
[[ $start =~ ^[0-9]{10}$ && $hrs =~ ^[0-9]+$ ]] || usage
indir=$(cd "$7" && pwd)
pointfile=$(cd "$(dirname "$8")" && pwd)/$(basename "$8")
siteseries=$(command -v siteseries) || { echo "$0: siteseries is not on PATH" >&2; exit 1; }

# One line per run: its first hour and its number of hours.
blocks() {
  local k n
  for ((k = 0; k < hrs; k += block)); do
    n=$((hrs - k < block ? hrs - k : block))
    echo "$(date -u -d "${start:0:4}-${start:4:2}-${start:6:2} ${start:8:2}:00 UTC + $k hours" \
                 +%Y%m%d%H) $n"
  done
}

q() { printf '%q' "$1"; }
# {1} is the run's first hour, {2} its number of hours.
blocks | parallel --will-cite --colsep ' ' --jobs "$jobs" "${hosts[@]}" \
  --joblog "$outdir/logs/joblog.tsv" \
  "cd $(q "$outdir") && $(q "$siteseries") $(q "$us_area") $(q "$latlon_type") {1} {2} \
     $(q "$suffix") $(q "$indir") $(q "$pointfile") > logs/{1}.log 2>&1"
