// `bedcarve`'s run: reads `HGT_M` and `LANDMASK` of one grid file, fills the
// closed depressions (depression_fill.hpp), writes the conditioned heights.
// Here the program decides its records and its ends: the readers and the
// fill report to this module, which writes the records and stops the
// program the way `bedcarve` always has.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cell_bits.hpp"
#include "depression_fill.hpp"
#include "grid2d.hpp"

namespace rn::bedcarve {

/// The terrain of a run.
struct Terrain {
  Grid2D<float> height;  ///< HGT_M, raised in place
  /// The cells where water leaves: LANDMASK 0, and the cells whose height
  /// is a declared no-data value (never raised, so they keep it).
  CellBits water;
  /// The no-data cells among them whose value is a NaN (a declared NaN
  /// no-data value), empty when there are none.
  CellBits nan_no_data;
  float nan_value = 0.0f;  ///< the NaN they hold

  /// Marks cell `c` as a no-data cell (water; and a NaN one when its
  /// height is a NaN).
  void mark_no_data(std::size_t c);
};

/// Bytes a grid of `cells` cells needs at least while it is conditioned:
/// the heights, the water bits and what the fill keeps per cell (the lakes
/// and classes of its depressions come on top).
std::size_t terrain_bytes(std::size_t cells);

/// Memory a run may use: the machine's physical memory, or the process's
/// address-space limit when that is lower.
std::size_t usable_memory();

/// Refuses a grid of `cells` cells that needs more memory than
/// `usable_memory` (one line on the error stream, status 1).
void require_memory(std::size_t cells);

/// Reads the terrain grid of `file` (records "ixrt = " and two " reading
/// variable ").  A cell whose stored `HGT_M` equals its `_FillValue` or one
/// of its `missing_value` values (compared in the stored type; a NaN only
/// where one of them is a NaN) is a water cell; a grid without these
/// attributes reads as it always has.  A file that cannot be read ends the program: code stop 888
/// for the file or its dimensions, the reader's message, "Stoped du to " and
/// code stop 999 for a field.  A grid without cells is refused at once, one
/// that needs more memory than `usable_memory` once `HGT_M` is known to hold
/// its cells (after the record " reading variable HGT_M"), both before
/// anything is allocated (status 1).  A variable of another size than the
/// dimensions ends the run before any field is allocated.
Terrain read_terrain(const std::string& file);

/// The fill with the program's records and ends: every fill as its "step 5"
/// and "step 6" record pair on rn::out(), rendered and written on a second
/// thread while the fill goes on; a fill that cannot go on ends the program
/// with its text stop (status 1) after the records written so far.
FillCounts fill_with_records(Grid2D<float>& height, const CellBits& water,
                             const FillTuning& tuning = {}, const SweepProgress& progress = {});

/// fill_with_records on a terrain: its NaN no-data cells stand at
/// -infinity during the fill (a search enters only neighbours not higher
/// than its cell, which a NaN never is) and get their NaN back after it
/// (water is never raised).  Progress as given.
FillCounts fill_terrain(Terrain& terrain, const SweepProgress& progress = {});

/// The netCDF run: read, fill, write, then the text stop "finish" (status
/// 0), with progress on a terminal (run_progress.hpp).  File names are cut
/// at 256 characters, trailing blanks removed.  (The program itself also
/// reads and writes rasters: dem_conditioning.hpp.)
void condition_terrain(std::string_view infile, std::string_view outfile);

}  // namespace rn::bedcarve
