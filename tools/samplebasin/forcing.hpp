// Site lists and hourly forcing files for the point-extraction program.
//
// Two grid flavours: a regular latitude-longitude grid described by its
// coordinate variables `lat_0` (stored north to south) and `lon_0`, and the
// fixed Lambert conformal grid (`xgrid_0`, `ygrid_0`; 3 km, cell (1, 1) at
// 21.13812 N, 237.2805 E, standard longitude 262.5, true latitudes 38.5),
// whose coordinates the files do not carry.  Two contents: the full set
// (`U10`, `V10`, `T2`, `Q2`, `RAINRATE`) and rain only (`RAIN`).  Fields are
// smooth, with a diurnal cycle in local solar time and rain cells moving
// east.  Every site lies inside the basin (the parent domain, less a tenth
// of it on every side) and well inside both grids: the latitude-longitude
// grid spans the sites with a margin; the Lambert grid reaches from its
// fixed corner cell past the basin, and holds values around the basin only
// (its other cells read as the fill value).
//
//   sites_us.txt, sites_world.txt
//   forcing/{latlon,lambert}_{full,rain}/<YYYYMMDDHH>.forcing.nc
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "preset.hpp"

namespace sb {

inline constexpr const char* kSitesUs = "sites_us.txt";
inline constexpr const char* kSitesWorld = "sites_world.txt";
inline constexpr const char* kForcingSuffix = ".forcing.nc";

/// The four forcing folders, relative to the output folder.
std::vector<std::string> forcing_folders();

/// Columns and rows of a forcing grid.
struct GridSize {
  int nx = 0, ny = 0;
};

/// The size of the Lambert forcing grid of a preset: at least the preset's
/// forcing size, and enough to reach past the basin.
GridSize lambert_forcing_size(const Preset& preset);

/// Writes the two site lists into `dir`.
void write_site_lists(const Preset& preset, std::uint64_t seed, const std::string& dir,
                      void (*progress)(const char* stage));

/// Writes the forcing files of one grid flavour (both contents, every hour)
/// into their folders under `dir` (which exist).
void write_forcing(const Preset& preset, std::uint64_t seed, const std::string& dir, bool lambert,
                   void (*progress)(const char* stage));

}  // namespace sb
