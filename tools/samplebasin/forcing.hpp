// Site lists and hourly forcing files for the point-extraction program.
//
// Two grid flavours: a regular latitude-longitude grid described by its
// coordinate variables `lat_0` (stored north to south) and `lon_0`, and the
// fixed Lambert conformal grid (`xgrid_0`, `ygrid_0`; 3 km, cell (1, 1) at
// 21.13812 N, 237.2805 E, standard longitude 262.5, true latitudes 38.5),
// whose coordinates the files do not carry.  Two contents: the full set
// (`U10`, `V10`, `T2`, `Q2`, `RAINRATE`) and rain only (`RAIN`).  Fields are
// smooth, with a diurnal cycle in local solar time and rain cells moving
// east.  Every site lies well inside both grids.
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

/// Writes the two site lists into `dir`.
void write_site_lists(const Preset& preset, std::uint64_t seed, const std::string& dir,
                      void (*progress)(const char* stage));

/// Writes the forcing files of one grid flavour (both contents, every hour)
/// into their folders under `dir` (which exist).
void write_forcing(const Preset& preset, std::uint64_t seed, const std::string& dir, bool lambert,
                   void (*progress)(const char* stage));

}  // namespace sb
