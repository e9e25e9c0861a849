#!/usr/bin/env bash
# Runs reachfeed on many parent channel outputs at once with GNU parallel: one
# job per input file, all in the folder that holds mapping.nc, on this
# machine or spread over ssh hosts that see the same folders.
#
#   reachfeed_parallel.sh [-j JOBS] [-S SSHLOGINS] BASIN_DIR OUT_DIR INPUT...
#
#   -j JOBS        concurrent runs per host (default: the number of cores)
#   -S SSHLOGINS   hosts for GNU parallel's --sshlogin, e.g. ":,node2,node3"
#                  (":" is this machine); every host needs reachfeed at the
#                  same path and the folders below at the same paths
#   BASIN_DIR      folder of mapping.nc: the runs' working folder, where they
#                  share the cache mapping_index.nc
#   OUT_DIR        receives one output per input, under the input's file
#                  name, and logs/: each run's output and joblog.tsv (one
#                  line per run with its exit status)
#
# The runs race to write mapping_index.nc at first; every one of them writes
# it whole under a temporary name and renames it into place, and every run
# checks a cache it finds against mapping.nc and its own input, so the
# outputs are those of one run after the other.  Ends with status 0 when
# every run succeeded, else with the number of failed runs (GNU parallel's
# count; see logs/joblog.tsv).  Rerun with the same arguments after a
# failure: every output is made anew.
set -euo pipefail

usage() {
  echo "usage: $0 [-j JOBS] [-S SSHLOGINS] BASIN_DIR OUT_DIR INPUT..." >&2
  exit 1
}
jobs=$(nproc)
hosts=()
while getopts j:S: opt; do
  case $opt in
    j) jobs=$OPTARG ;;
    S) hosts=(--sshlogin "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
(($# >= 3)) || usage

basin=$(cd "$1" && pwd)
mkdir -p "$2/logs"
outdir=$(cd "$2" && pwd)
shift 2
[[ -f $basin/mapping.nc ]] || { echo "$0: no mapping.nc in $basin" >&2; exit 1; }
reachfeed=$(command -v reachfeed) || { echo "$0: reachfeed is not on PATH" >&2; exit 1; }
inputs=()
declare -A seen
for f in "$@"; do
  [[ -f $f ]] || { echo "$0: no input file $f" >&2; exit 1; }
  name=$(basename "$f")
  # Outputs and logs are named after the inputs: two inputs of one name
  # would overwrite each other's.
  [[ -z ${seen[$name]:-} ]] || { echo "$0: two inputs are named $name" >&2; exit 1; }
  seen[$name]=1
  inputs+=("$(cd "$(dirname "$f")" && pwd)/$name")
done

q() { printf '%q' "$1"; }
# {} is the input path, {/} its file name, {/.} the name without .nc.
parallel --will-cite --jobs "$jobs" "${hosts[@]}" --joblog "$outdir/logs/joblog.tsv" \
  "cd $(q "$basin") && $(q "$reachfeed") {} $(q "$outdir")/{/} > $(q "$outdir")/logs/{/.}.log 2>&1" \
  ::: "${inputs[@]}"
