#!/usr/bin/env bash
# Runs siteseries over a long series of hourly forcing files with GNU
# parallel: the hours are cut into blocks, one siteseries run per block, all
# writing their hourly text files into one folder, on this machine or spread
# over ssh hosts that see the same folders.
#
#   siteseries_parallel.sh [-j JOBS] [-S SSHLOGINS] [-b HOURS] [-s SERIES.nc] OUT_DIR \
#       usArea latlonType startDate Hrs suffix inDir pointFile
#
#   -j JOBS        concurrent runs per host (default: the number of cores)
#   -S SSHLOGINS   hosts for GNU parallel's --sshlogin (":" is this machine)
#   -b HOURS       hours per run (default 1)
#   -s SERIES.nc   series mode: each run writes its block of hours as one
#                  series file OUT_DIR/blocks/<first hour>.nc (siteseries
#                  --series), and when all have succeeded ncrcat joins them
#                  along time into SERIES.nc (log: OUT_DIR/logs/join.log)
#   OUT_DIR        receives <YYYYMMDDHH>.txt for every hour (or blocks/), and logs/
#   the rest       siteseries' own arguments (siteseries --help)
#
# Each hour's file is written whole under a temporary name and renamed into
# place, and an hour whose file exists is skipped, so a rerun after a failure
# or an interruption only makes the hours still missing.  A run starts at the
# first hour of its block that has a forcing file, so a missing file at a
# block's start loses no hour; a block without any file is not run.  Ends with status 0
# when every run succeeded, else with the number of failed runs (see
# logs/joblog.tsv).  In series mode a block whose file exists is not run
# again, and hours before a block's first forcing file are not in the joined
# file (a single series run holds them as fill values): its time coordinate
# names the hours it has.
set -euo pipefail

usage() {
  echo "usage: $0 [-j JOBS] [-S SSHLOGINS] [-b HOURS] [-s SERIES.nc] OUT_DIR" \
       "usArea latlonType startDate Hrs suffix inDir pointFile" >&2
  exit 1
}
jobs=$(nproc)
hosts=()
block=1
series=
while getopts j:S:b:s: opt; do
  case $opt in
    j) jobs=$OPTARG ;;
    S) hosts=(--sshlogin "$OPTARG") ;;
    b) block=$OPTARG ;;
    s) series=$OPTARG ;;
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
hrs=$((10#$hrs))
indir=$(cd "$7" && pwd)
pointfile=$(cd "$(dirname "$8")" && pwd)/$(basename "$8")
siteseries=$(command -v siteseries) || { echo "$0: siteseries is not on PATH" >&2; exit 1; }
if [[ -n $series ]]; then
  command -v ncrcat >/dev/null || { echo "$0: ncrcat is not on PATH (Debian package nco)" >&2; exit 1; }
  series=$(cd "$(dirname "$series")" && pwd)/$(basename "$series")
  mkdir -p "$outdir/blocks"
fi

# Every hour's label from startDate on, one a line (one date call for all).
hour_labels() {
  local k
  for ((k = 0; k < hrs; k++)); do
    echo "${start:0:4}-${start:4:2}-${start:6:2} ${start:8:2}:00 UTC + $k hours"
  done | date -u -f - +%Y%m%d%H
}

# True when the forcing file of hour $1 exists, named as siteseries names it
# (trailing blanks do not count).
has_forcing() {
  local name=$indir/$1$suffix
  [[ -e ${name%"${name##*[! ]}"} ]]
}

# One line per run: its first hour and its number of hours.  siteseries sets
# up from its first hour's forcing file and stops when that file is missing,
# so each run starts at the first hour of its block that has a file (and
# ends with the block); a block without any file has no run.
blocks() {
  local labels k j end
  mapfile -t labels < <(hour_labels)
  ((${#labels[@]} == hrs)) || { echo "$0: cannot count $hrs hours from $start" >&2; exit 1; }
  for ((k = 0; k < hrs; k += block)); do
    end=$((k + block < hrs ? k + block : hrs))
    for ((j = k; j < end; j++)); do
      if has_forcing "${labels[j]}"; then
        [[ -n $series && -e $outdir/blocks/${labels[j]}.nc ]] || echo "${labels[j]} $((end - j))"
        break
      fi
    done
  done
}

q() { printf '%q' "$1"; }
option=
[[ -z $series ]] || option="--series blocks/{1}.nc"
# {1} is the run's first hour, {2} its number of hours.
status=0
blocks | parallel --will-cite --colsep ' ' --jobs "$jobs" "${hosts[@]}" \
  --joblog "$outdir/logs/joblog.tsv" \
  "cd $(q "$outdir") && $(q "$siteseries") $option $(q "$us_area") $(q "$latlon_type") {1} {2} \
     $(q "$suffix") $(q "$indir") $(q "$pointfile") > logs/{1}.log 2>&1" || status=$?
if [[ -z $series ]] || ((status != 0)); then exit "$status"; fi

# The blocks in time order, joined along the record dimension time (their
# own time units are rebased to the first block's); chunks as siteseries
# writes them, so that one site's series stays few reads.
mapfile -t parts < <(find "$outdir/blocks" -maxdepth 1 -name '[0-9]*.nc' | sort)
((${#parts[@]})) || { echo "$0: no block has a forcing file; no series written" >&2; exit 1; }
ncrcat -O --cnk_plc=all --cnk_dmn time,128 --cnk_dmn station,128 "${parts[@]}" "$series" \
  >"$outdir/logs/join.log" 2>&1 || { echo "$0: ncrcat failed; see $outdir/logs/join.log" >&2; exit 1; }
