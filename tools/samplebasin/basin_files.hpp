// The files of the sample basin: names (relative to the output folder) and
// writers.  Folder layout:
//   namelist.nesting                     configuration of the mapping builder
//   parent/parent_geo.nc                 parent grid: XLAT_M, XLONG_M, HGT_M, LANDMASK, projection
//   parent/parent_grid.nc                parent routing grid (named in the namelist, not read)
//   parent/parent_links.nc               route-link file: link, order (and to, lat, lon)
//   parent/parent_overlap.nc             overlap file: polyid, overlaps, i_index, j_index, regridweight
//   child/child_grid.nc                  child routing grid, rows north to south
//   child/terrain.nc                     child terrain: HGT_M, LANDMASK
//   channel/reach_<YYYYMMDDHH>.nc        parent output keyed by feature_id (packed streamflow)
//   channel/points_<YYYYMMDDHH>.nc       parent output by record (recNum)
//   seg_info.nc                          segment points of the parent channel cells
//   station_list.txt                     gauges on the parent network
//   cellfeed/mapping.nc                  per-node mapping of the child boundary nodes
#pragma once

#include <string>
#include <vector>

#include "basin.hpp"

namespace sb {

inline constexpr const char* kNamelist = "namelist.nesting";
inline constexpr const char* kParentGeo = "parent/parent_geo.nc";
inline constexpr const char* kParentGrid = "parent/parent_grid.nc";
inline constexpr const char* kParentLinks = "parent/parent_links.nc";
inline constexpr const char* kParentOverlap = "parent/parent_overlap.nc";
inline constexpr const char* kChildGrid = "child/child_grid.nc";
inline constexpr const char* kTerrain = "child/terrain.nc";
inline constexpr const char* kSegmentInfo = "seg_info.nc";
inline constexpr const char* kStationList = "station_list.txt";
inline constexpr const char* kCellMapping = "cellfeed/mapping.nc";
/// First hour of every time series, YYYYMMDDHH.
inline constexpr const char* kStartHour = "2016010100";

/// Hour label k hours after the start (k below 24).
std::string hour_label(int k);
std::string reach_output(int hour);   ///< channel/reach_<label>.nc
std::string point_output(int hour);   ///< channel/points_<label>.nc

/// Subfolders the files need, relative to the output folder.
std::vector<std::string> basin_folders();

/// Writes every basin file into `dir` (which exists with its subfolders).
/// `progress` (if not null) receives one line per file group.
void write_basin_files(const Basin& basin, const std::string& dir, void (*progress)(const char* stage));

}  // namespace sb
