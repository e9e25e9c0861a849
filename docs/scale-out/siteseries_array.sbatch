#!/bin/bash
# Slurm job array: siteseries over a long series of hourly forcing files, task
# i making the hours from startDate + i*HOURS_PER_TASK on (at most
# HOURS_PER_TASK of them, none beyond startDate + Hrs - 1).  All tasks write
# their hourly text files into OUT_DIR, on a file system that every node sees.
#
#   sbatch --array=0-$(( (Hrs + HOURS_PER_TASK - 1) / HOURS_PER_TASK - 1 ))%50 \
#     siteseries_array.sbatch [--series] OUT_DIR HOURS_PER_TASK usArea latlonType startDate Hrs suffix inDir pointFile
#
# The last seven arguments are siteseries' own (siteseries --help).  A task
# starts at the first of its hours that has a forcing file, so a missing file
# at the start of its share loses no hour; it logs to OUT_DIR/logs/<that
# hour>.log and its exit status is siteseries'.  A task without any forcing
# file succeeds and writes nothing.
# An hour whose file exists is skipped, so resubmitting the whole array after
# a failure only makes the missing hours.
#
# Series mode: with --series each task writes its hours as one series file
# OUT_DIR/blocks/<first hour>.nc (siteseries --series; a task whose file
# exists does nothing), and a job that runs when the whole array has
# succeeded joins them along time with ncrcat:
#   job=$(sbatch --parsable --array=0-N siteseries_array.sbatch --series OUT_DIR ...)
#   sbatch --dependency=afterok:$job siteseries_array.sbatch --join OUT_DIR SERIES.nc
# Hours before a task's first forcing file are not in the joined file.
#SBATCH --job-name=siteseries
#SBATCH --ntasks=1
#SBATCH --cpus-per-task=1
#SBATCH --mem=4G
#SBATCH --time=01:00:00
#SBATCH --output=slurm-%x-%A_%a.out
set -euo pipefail

# The join of series mode: the blocks in time order, along the record
# dimension (each block's time units rebased to the first's), in the chunks
# that siteseries writes.
if [[ ${1:-} == --join ]]; then
  (($# == 3)) || { echo "usage: sbatch siteseries_array.sbatch --join OUT_DIR SERIES.nc" >&2; exit 1; }
  mapfile -t parts < <(find "$2/blocks" -maxdepth 1 -name '[0-9]*.nc' | sort)
  ((${#parts[@]})) || { echo "no series block in $2/blocks" >&2; exit 1; }
  exec ncrcat -O --cnk_plc=all --cnk_dmn time,128 --cnk_dmn station,128 "${parts[@]}" "$3"
fi
series=()
if [[ ${1:-} == --series ]]; then
  shift
  series=(--series)
fi
if (($# != 9)) || [[ ! $2 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: sbatch --array=0-N siteseries_array.sbatch [--series] OUT_DIR HOURS_PER_TASK" \
       "usArea latlonType startDate Hrs suffix inDir pointFile" >&2
  exit 1
fi
mkdir -p "$1/logs"
outdir=$(cd "$1" && pwd)
per_task=$2 us_area=$3 latlon_type=$4 start=${5:0:10} hrs=$6 suffix=$7
indir=$(cd "$8" && pwd)
pointfile=$(cd "$(dirname "$9")" && pwd)/$(basename "$9")
task=${SLURM_ARRAY_TASK_ID:?run this script as a job array (sbatch --array=...)}

first=$((task * per_task))
if ((first >= hrs)); then
  echo "task $task: starts beyond the $hrs hours" >&2
  exit 1
fi
count=$((hrs - first < per_task ? hrs - first : per_task))

# siteseries sets up from its first hour's forcing file and stops when that
# file is missing, so the run starts at the first hour of the task's share
# that has a file (named as siteseries names it: trailing blanks do not
# count).
mapfile -t labels < <(
  for ((k = first; k < first + count; k++)); do
    echo "${start:0:4}-${start:4:2}-${start:6:2} ${start:8:2}:00 UTC + $k hours"
  done | date -u -f - +%Y%m%d%H)
((${#labels[@]} == count)) || { echo "task $task: cannot count hours from $start" >&2; exit 1; }
for ((j = 0; j < count; j++)); do
  forcing=$indir/${labels[j]}$suffix
  if [[ -e ${forcing%"${forcing##*[! ]}"} ]]; then
    cd "$outdir"
    if ((${#series[@]})); then
      mkdir -p blocks
      [[ ! -e blocks/${labels[j]}.nc ]] || exit 0
      series+=("blocks/${labels[j]}.nc")
    fi
    exec siteseries "${series[@]}" "$us_area" "$latlon_type" "${labels[j]}" "$((count - j))" \
      "$suffix" "$indir" "$pointfile" >"logs/${labels[j]}.log" 2>&1
  fi
done
echo "task $task: no forcing file for its $count hours from ${labels[0]}; nothing to do"
