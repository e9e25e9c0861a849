#!/bin/bash
# Slurm job array: one reachfeed run per parent channel output, task i taking
# the i-th file (from 0, in name order) of INPUT_DIR that matches PATTERN.
# All tasks work in BASIN_DIR, the folder of mapping.nc, on a file system
# that every node sees; they share its cache mapping_index.nc.
#
#   n=$(ls INPUT_DIR/PATTERN | wc -l)
#   sbatch --array=0-$((n - 1))%50 reachfeed_array.sbatch BASIN_DIR OUT_DIR INPUT_DIR [PATTERN]
#
# PATTERN defaults to '*.nc'.  Each task writes OUT_DIR/<input file name> and
# OUT_DIR/logs/<input file name>.log; its exit status is reachfeed's (0 for
# success), which Slurm records per task (sacct -j JOBID).  Resubmit failed
# tasks with --array=<their numbers>.
#SBATCH --job-name=reachfeed
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --mem=2G
#SBATCH --time=00:15:00
#SBATCH --output=slurm-%x-%A_%a.out
set -euo pipefail

if (($# < 3)); then
  echo "usage: sbatch --array=0-N reachfeed_array.sbatch BASIN_DIR OUT_DIR INPUT_DIR [PATTERN]" >&2
  exit 1
fi
basin=$(cd "$1" && pwd)
mkdir -p "$2/logs"
outdir=$(cd "$2" && pwd)
indir=$(cd "$3" && pwd)
pattern=${4:-*.nc}
task=${SLURM_ARRAY_TASK_ID:?run this script as a job array (sbatch --array=...)}

shopt -s nullglob
inputs=("$indir"/$pattern)
if ((task >= ${#inputs[@]})); then
  echo "task $task: only ${#inputs[@]} files match $indir/$pattern" >&2
  exit 1
fi
input=${inputs[task]}
name=$(basename "$input")
cd "$basin"
reachfeed "$input" "$outdir/$name" >"$outdir/logs/$name.log" 2>&1
