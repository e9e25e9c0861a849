#!/usr/bin/env bash
# Runs every program of the toolkit that has been built on a sample basin
# written by samplebasin, the way a user chains them; each program's
# standard output goes to OUTDIR/logs/<program>.log.  Ends with status 1
# when any program fails.
#   tools/samplebasin/run_programs.sh OUTDIR [BINDIR]   (BINDIR: build/bin)
set -uo pipefail
if (($# < 1)); then
  echo "Usage: $0 OUTDIR [BINDIR]" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${2:-$here/../../build/bin}" && pwd) || exit 1
cd "$1" || exit 1
mkdir -p logs kml sites_out
failed=0

# run <log name> <folder> <program> <arguments...>
run() {
  local log=$1 dir=$2 program=$3
  shift 3
  if [[ ! -x "$bin/$program" ]]; then
    echo "-- $program: not built, skipped"
    return
  fi
  local status=0
  (cd "$dir" && "$bin/$program" "$@") > "logs/$log.log" 2>&1 || status=$?
  if ((status == 0)); then
    echo "ok $program $*"
  else
    echo "FAILED ($status) $program $* (see logs/$log.log)"
    failed=1
  fi
}

hour=2016010100
run linkweaver . linkweaver
rm -f mapping_index.nc
run reachfeed . reachfeed "channel/reach_$hour.nc" reach_inflow.nc
run cellfeed cellfeed cellfeed "../channel/points_$hour.nc" ../cell_inflow.nc
run flowglobe . flowglobe "channel/points_$hour.nc" kml/flow.kml 1 2 seg_info.nc station_list.txt
run flowglobe_max . flowglobe_max "channel/points_$hour.nc" kml/flow_max.kml 1 2 seg_info.nc station_list.txt
run flowglobe_drv1 . flowglobe_drv1 "channel/points_$hour.nc" kml/nodes.kml 2 3
run flowglobe_seg . flowglobe_seg seg_info.nc kml/segments.kml 2 station_list.txt
run gaugeglobe . gaugeglobe kml/gauges.kml station_list.txt
for grid in latlon lambert; do
  for content in full rain; do
    mkdir -p "sites_out/${grid}_$content"
    type=$([[ $grid == latlon ]] && echo 1 || echo 0)
    run "siteseries_${grid}_$content" "sites_out/${grid}_$content" siteseries 1 "$type" "$hour" 24 \
      .forcing.nc "../../forcing/${grid}_$content" ../../sites_us.txt
  done
done
run bedcarve . bedcarve child/terrain.nc child/terrain_filled.nc
exit $failed
