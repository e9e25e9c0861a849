#!/usr/bin/env bash
# The toolkit's tour: writes the small sample basin and runs all ten programs
# on it the way a user chains them, then tells what each one produced and
# where to look.  Each program's standard output and error stream go to
# OUTDIR/logs/<step>.log; the tour shows the telling lines.
#
#   docs/tour.sh [BINDIR [OUTDIR]]      (defaults: build/bin and demo)
#   PREFIX/share/doc/rivernest/tour.sh [BINDIR [OUTDIR]]
#                                       (installed; defaults: PREFIX/bin and ./demo)
#
# OUTDIR is made anew on every run.  An existing OUTDIR is removed only when
# an earlier tour made it (it holds the marker file .rivernest-tour) or when
# it is empty; any other folder is left alone and the tour stops.
# Ends with status 0 when every step succeeded, 1 otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [[ -x $here/../../../bin/samplebasin ]]; then  # installed under PREFIX/share/doc/rivernest
  bin=${1:-$(cd "$here/../../../bin" && pwd)}
  out=${2:-$PWD/demo}
else                                              # in the source tree, docs/
  bin=${1:-$here/../build/bin}
  out=${2:-$here/../demo}
fi
marker=.rivernest-tour
hour0=2016010100
hour1=2016010101

die() { echo "tour: $*" >&2; exit 1; }

[[ -d $bin ]] || die "no folder of programs at $bin (build first: tools/setup.sh)"
bin=$(cd "$bin" && pwd)
for p in samplebasin linkweaver reachfeed cellfeed flowglobe flowglobe_max flowglobe_drv1 \
         flowglobe_seg gaugeglobe siteseries bedcarve; do
  [[ -x $bin/$p ]] || die "$bin/$p is missing (build first: tools/setup.sh)"
done
command -v ncdump >/dev/null || die "ncdump is missing (Debian package netcdf-bin)"

if [[ -e $out ]]; then
  if [[ -f $out/$marker ]] || [[ -d $out && -z $(ls -A "$out") ]]; then
    rm -rf -- "$out"
  else
    die "$out exists and was not made by the tour; name another folder"
  fi
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
touch "$out/$marker"
cd "$out"
mkdir -p logs inflow kml series/us_latlon series/world_lambert

# step <log> <folder> <program> <arguments...>: runs one program, its output
# in logs/<log>.log; on failure shows the end of the log and stops the tour.
step() {
  local log=$1 dir=$2 program=$3
  shift 3
  local status=0
  (cd "$dir" && "$bin/$program" "$@") >"$out/logs/$log.log" 2>&1 || status=$?
  if ((status != 0)); then
    echo "FAILED: $program $* (exit status $status); the end of logs/$log.log:"
    tail -n 15 "$out/logs/$log.log"
    exit 1
  fi
}

# show <log> <pattern>: the log lines that match, indented.
show() { grep -E -- "$2" "$out/logs/$1.log" | sed 's/^/      | /' || true; }

# dim <file> <dimension>: the dimension's length (0 for an empty unlimited one).
dim() {
  ncdump -h "$1" | sed -n -E "s/^[[:space:]]+$2 = ([0-9]+) ;.*/\1/p; s/^[[:space:]]+$2 = UNLIMITED ; \/\/ \(([0-9]+) currently\)/\1/p"
}

# values <file> <variable>: the variable's values, one a line (a fill value,
# which ncdump shows as "_", as "_").
values() {
  ncdump -v "$2" -p 9,17 "$1" | awk -v name="$2" '
    $1 == name && $2 == "=" { on = 1; $1 = ""; $2 = "" }
    on { last = index($0, ";") > 0; gsub(/[,;]/, " ")
         for (i = 1; i <= NF; i++) print $i
         if (last) exit }'
}

# inflow <file>: "qstream <min> .. <max> m3/s" of an inflow file's cells that
# have a value, and how many have none (-9999.0: their parent streamflow was
# missing that hour).
inflow() {
  values "$1" qstream | awk '$1 == "_" || $1 == -9999 { none++; next }
    { if (!n || $1 < lo) lo = $1; if (!n || $1 > hi) hi = $1; n++ }
    END { if (n) printf "qstream %.2f .. %.2f m3/s", lo, hi; else printf "no qstream"
          if (none) printf ", %d without parent streamflow (-9999.0)", none }'
}

# placemarks <kml>: the document's channel points (by colour class, for the
# coloured documents) and its gauges ("#obs" or "#red" station placemarks).
placemarks() {
  awk '/<Placemark>/ { n++ } /styleUrl>#/ { s = $0; sub(/.*#/, "", s); sub(/<.*/, "", s); c[s]++ }
       END {
         colour = ("obs" in c) || ("blue" in c) || ("purple" in c)
         gauges = colour ? c["obs"] : c["red"]
         if (n > gauges || !gauges) printf "%d channel points", n - gauges
         split("blue green yellow orange red purple", order, " ")
         if (colour) {
           sep = " ("
           for (i = 1; i <= 6; i++) { printf "%s%s %d", sep, order[i], c[order[i]]; sep = ", " }
           printf ")"
         }
         if (gauges) printf "%s%d gauges", (n > gauges ? " and " : ""), gauges
       }' "$1"
}

# package <kmz>: "<placemarks> placemarks, <bytes> bytes" of a package, the
# placemarks counted in its doc.kml (the tour's packages are single
# documents).
package() {
  local placemarks
  placemarks=$(/usr/bin/python3 -c 'import sys, zipfile
print(zipfile.ZipFile(sys.argv[1]).read("doc.kml").count(b"<Placemark>"))' "$1" 2>/dev/null) ||
    placemarks="?"
  echo "$placemarks placemarks, $(wc -c <"$1") bytes, icons and legend inside"
}

started=$SECONDS
echo "== 1. The sample basin: samplebasin --preset small"
step samplebasin . samplebasin --preset small .
sed 's/^/      | /' logs/samplebasin.log

echo "== 2. linkweaver: namelist.nesting -> mapping.nc (parent links feeding the child boundary)"
step linkweaver . linkweaver
show linkweaver 'child%nodeNum|ndata =|inter%gridNum'

echo "== 3. reachfeed, first run: searches the parent feature ids and writes the cache mapping_index.nc"
step reachfeed_1 . reachfeed "channel/reach_$hour0.nc" "inflow/reach_$hour0.nc"
show reachfeed_1 'Using the file|reading|finish define'

echo "== 4. reachfeed, second run (the next hour, two parent links without a value): takes the matched positions from the cache"
step reachfeed_2 . reachfeed "channel/reach_$hour1.nc" "inflow/reach_$hour1.nc"
show reachfeed_2 'Using the file|reading|missing'

echo "== 5. cellfeed, in cellfeed/ (its mapping.nc has the per-node layout)"
step cellfeed cellfeed cellfeed "../channel/points_$hour0.nc" "../inflow/cell_$hour0.nc"
show cellfeed 'fcstn'

echo "== 6. The KML exporters"
points=channel/points_$hour0.nc
step flowglobe . flowglobe "$points" kml/flow.kml 1 1 seg_info.nc station_list.txt
step flowglobe_max . flowglobe_max "$points" kml/flow_max.kml 1 1 seg_info.nc station_list.txt
step flowglobe_drv1 . flowglobe_drv1 "$points" kml/nodes.kml 1 1
step flowglobe_seg . flowglobe_seg seg_info.nc kml/segments.kml 2 station_list.txt
step gaugeglobe . gaugeglobe kml/gauges.kml station_list.txt
echo "      flowglobe, flowglobe_max, flowglobe_drv1, flowglobe_seg, gaugeglobe: 5 documents in kml/"
step flowglobe_kmz . flowglobe --kmz "$points" kml/flow.kmz 1 1 seg_info.nc station_list.txt
step flowglobe_max_kmz . flowglobe_max --kmz "$points" kml/flow_max.kmz 1 1 seg_info.nc station_list.txt
step flowglobe_drv1_kmz . flowglobe_drv1 --kmz "$points" kml/nodes.kmz 1 1
step flowglobe_seg_kmz . flowglobe_seg --kmz seg_info.nc kml/segments.kmz 2 station_list.txt
step gaugeglobe_kmz . gaugeglobe --kmz kml/gauges.kmz station_list.txt
echo "      the same with --kmz: 5 viewer-ready packages in kml/ (icons and legend inside)"

echo "== 7. siteseries for a day, both site-list layouts"
step siteseries_us series/us_latlon siteseries 1 1 "$hour0" 24 .forcing.nc \
  ../../forcing/latlon_full ../../sites_us.txt
show siteseries_us 'rainOnly'
step siteseries_world series/world_lambert siteseries 2 0 "$hour0" 24 .forcing.nc \
  ../../forcing/lambert_rain ../../sites_world.txt
show siteseries_world 'rainOnly'
step siteseries_series . siteseries --series series/us_latlon.nc 1 1 "$hour0" 24 .forcing.nc \
  forcing/latlon_full sites_us.txt
echo "      the same day as one series file: siteseries --series series/us_latlon.nc ..."

echo "== 8. bedcarve: fills the closed depressions of the child terrain"
step bedcarve . bedcarve child/terrain.nc terrain_filled.nc
show bedcarve 'ixrt'

quicklook=
if /usr/bin/python3 -c 'import matplotlib' 2>/dev/null; then
  echo "== 9. A quick look at the streamflow classes (docs/quicklook.py)"
  if /usr/bin/python3 "$here/quicklook.py" kml/flow.kml quicklook.png \
       --network kml/nodes.kml --gauges kml/gauges.kml >logs/quicklook.log 2>&1; then
    quicklook=quicklook.png
  else
    echo "      (no picture: see logs/quicklook.log)"
  fi
fi
elapsed=$((SECONDS - started))

# ---------------------------------------------------------------- summary
cells_raised=$(paste -d' ' <(values child/terrain.nc HGT_M) <(values terrain_filled.nc HGT_M) |
               awk '$2 > $1 { n++ } END { print n + 0 }')
hourly() {  # hourly <folder>: "<files> hourly files, <lines> lines each (<width> characters)"
  local f n lines width
  n=$(find "$1" -name '*.txt' | wc -l)
  f=$(find "$1" -name '*.txt' | sort | head -n 1)
  lines=$(wc -l <"$f")
  width=$(head -n 1 "$f" | awk '{ print length($0) }')
  echo "$n hourly files, $lines lines each ($width characters a line)"
}

cat <<EOF

== What the tour produced, in $out (in $elapsed s)
  mapping.nc                 linkweaver: $(dim mapping.nc ndata) entries (parent link, weight) for $(values mapping.nc childIndex | sort -u | wc -l) boundary cells of the $(dim mapping.nc gridNum) perimeter cells
  mapping_index.nc           reachfeed's cache: the entries' positions among the parent feature ids
  inflow/reach_$hour0.nc  reachfeed: $(dim "inflow/reach_$hour0.nc" nodeNum) child boundary cells, $(inflow "inflow/reach_$hour0.nc")
  inflow/reach_$hour1.nc  reachfeed (cache): $(dim "inflow/reach_$hour1.nc" nodeNum) cells, $(inflow "inflow/reach_$hour1.nc")
  inflow/cell_$hour0.nc   cellfeed: $(dim "inflow/cell_$hour0.nc" nodeNum) child nodes, $(inflow "inflow/cell_$hour0.nc")
  kml/flow.kml               flowglobe: $(placemarks kml/flow.kml)
  kml/flow_max.kml           flowglobe_max: $(placemarks kml/flow_max.kml)
  kml/nodes.kml              flowglobe_drv1: $(placemarks kml/nodes.kml) (every node)
  kml/segments.kml           flowglobe_seg: $(placemarks kml/segments.kml) (stream order 2 and up)
  kml/gauges.kml             gaugeglobe: $(placemarks kml/gauges.kml)
  kml/flow.kmz               flowglobe --kmz: $(package kml/flow.kmz)
  kml/flow_max.kmz           flowglobe_max --kmz: $(package kml/flow_max.kmz)
  kml/nodes.kmz              flowglobe_drv1 --kmz: $(package kml/nodes.kmz)
  kml/segments.kmz           flowglobe_seg --kmz: $(package kml/segments.kmz)
  kml/gauges.kmz             gaugeglobe --kmz: $(package kml/gauges.kmz)
  series/us_latlon/          siteseries (US list, latitude-longitude grid, full forcing): $(hourly series/us_latlon)
  series/world_lambert/      siteseries (world list, Lambert grid, rain only): $(hourly series/world_lambert)
  series/us_latlon.nc        siteseries --series: $(dim series/us_latlon.nc station) sites x $(dim series/us_latlon.nc time) hours in one CF time-series file
  terrain_filled.nc          bedcarve: $(grep -c '^ step 5' logs/bedcarve.log || true) fills, $cells_raised of $(($(dim terrain_filled.nc west_east) * $(dim terrain_filled.nc south_north))) cells raised
  logs/                      every program's standard output and error stream
EOF
[[ -z $quicklook ]] || echo "  $quicklook              the channel network coloured by streamflow class (from kml/flow.kml)"
cat <<EOF

== Where to look
  The KML documents are KML 2.2: open them in any globe viewer (File > Open, or drag
  the file onto the globe; a web globe imports them from its project menu).  Each
  coloured dot is a channel point, its colour its streamflow class; click one for
  its number, stream order and streamflow.  The legend refers to bar.gif beside the
  document, which the tools do not make: put your own legend image there.
  The .kmz packages are the ones to look at: they carry their icons and legend,
  need no network, and every placemark is styled (guide.md, "Globe views").
  Inspect a netCDF output with: ncdump -h $out/mapping.nc
  Every netCDF output is CF-1.8: cdo sinfon $out/series/us_latlon.nc, or in Python
  xarray.open_dataset("$out/series/us_latlon.nc").sel(station=1).t2
  The user guide, guide.md beside this script, walks through every file of this folder.
EOF
