// `bedcarve`'s run: reads `HGT_M` and `LANDMASK` of one grid file, fills the
// closed depressions (depression_fill.hpp), writes the conditioned heights.
// Here the program decides its records and its ends: the readers and the
// fill report to this module, which writes the records and stops the
// program the way `bedcarve` always has.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "depression_fill.hpp"
#include "grid2d.hpp"

namespace rn::bedcarve {

/// The terrain of a run.
struct Terrain {
  Grid2D<float> height;           ///< HGT_M, raised in place
  Grid2D<std::int32_t> channel;   ///< 1 at water cells (LANDMASK 0), -999 elsewhere
  std::int32_t ix() const { return static_cast<std::int32_t>(height.columns()); }
  std::int32_t jx() const { return static_cast<std::int32_t>(height.rows()); }
};

/// Reads the terrain grid of `file` (records "ixrt = " and two " reading
/// variable ").  A file that cannot be read ends the program: code stop 888
/// for the file or its dimensions, the reader's message, "Stoped du to " and
/// code stop 999 for a field; a grid without cells or of 2^31 - 1 cells or
/// more is refused before anything is allocated (status 1).
Terrain read_terrain(const std::string& file);

/// The fill with the program's records and ends: every fill as its "step 5"
/// and "step 6" record pair on rn::out(); a fill that cannot go on ends the
/// program with its text stop (status 1) after the records written so far.
FillCounts fill_with_records(std::span<float> height, std::span<const std::int32_t> channel,
                             std::int32_t ix, std::int32_t jx, const FillTuning& tuning = {});

/// Writes the conditioned terrain: `west_east`, `south_north`, float `HGT_M`.
void write_conditioned(const std::string& file, const Terrain& terrain);

/// The whole program: read, fill, write, then the text stop "finish"
/// (status 0).  File names are cut at 256 characters, trailing blanks removed.
void condition_terrain(std::string_view infile, std::string_view outfile);

}  // namespace rn::bedcarve
