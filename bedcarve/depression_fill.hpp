// Depression filling of a terrain height grid, the work of `bedcarve`.
//
// The sweep visits the start cells with i (west_east) in the outer loop and
// j (south_north) in the inner loop.  From each land cell that does not yet
// drain it repeats, at most 100 times: find the cells reachable by paths
// that never climb (the search set); if none of them is a terminal cell (the
// outermost ring, a water cell, a cell known to drain) compute `minv`, the
// lowest height among the strictly higher neighbours of the search set,
// report the fill, raise every cell of the search set below `minv` to
// `minv`.  Heights are only ever raised.
//
// The outcome (heights and fills) is that of the plain repeated search;
// depression_fill.cpp explains how it is reached without searching the
// whole depression again for every fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "cell_bits.hpp"
#include "grid2d.hpp"

namespace rn::bedcarve {

/// Fill height that no terrain reaches: a failed search that found no higher
/// neighbour keeps it, and the fill stops.
inline constexpr float kBigMinv = 9999999.0f;
/// Fill height that marks a broken grid.
inline constexpr float kSmallMinv = -999.0f;
/// Fills per start cell before the sweep moves on.
inline constexpr int kMaxFills = 100;

/// What a conditioning run did.
struct FillCounts {
  std::int64_t fills = 0;        ///< fills reported
  std::int64_t start_cells = 0;  ///< start cells that needed at least one fill
  std::int64_t capped = 0;       ///< start cells given up after 100 fills
  std::int64_t lakes = 0;        ///< flat pits created (natural ones) while searching
};

/// One fill from a start cell.
struct FillRecord {
  std::int32_t i, j;  ///< the start cell, 1-based
  float minv;         ///< the fill height
  float before;       ///< the start cell's height before the fill
  float after;        ///< and after it
};

/// Why a fill ended before the sweep was through.
enum class FillStop : std::uint8_t {
  none,
  big_minv,    ///< a search found no higher neighbour (or started on a NaN height)
  small_minv,  ///< a fill height of exactly -999.0
};

struct FillResult {
  FillCounts counts;
  FillStop stop = FillStop::none;
};

/// Receives every fill, in order.
using FillRecorder = std::function<void(const FillRecord&)>;

/// Told how far the sweep has come: after each column i of start cells,
/// the number of columns done and the number in all (west_east).  An empty
/// function costs nothing; a progress display decides itself how often it
/// redraws.
using SweepProgress = std::function<void(std::size_t done, std::size_t columns)>;

/// Internal tuning; the defaults are what the program uses.  The result
/// never depends on them, only the time taken (tests vary them to reach
/// every path).
struct FillTuning {
  /// Longest successor list a junction class takes over from the
  /// junctions below it.
  std::size_t flat_list = 256;
  /// Number cells with 64-bit integers even when 32 bits would do (grids
  /// of 2^31 cells and more always do).
  bool wide_index = false;
};

/// Bytes a cell that the fill itself keeps besides the heights: a state
/// byte and a drainage tag of 4 bytes (lakes and classes are numbered with
/// 32 bits, cells with 64 bits only in grids of 2^31 cells and more).
std::size_t fill_bytes_per_cell();

/// Conditions `height` in place (columns i along west_east, rows j along
/// south_north; i fastest).  `water` marks the water cells.  Reports every
/// fill to `record` as it is made.  On a stop the heights are left part-way
/// and the fills reported so far stand.  Any grid size that memory holds
/// (a grid with more than 2^31 lakes or drainage classes is refused with
/// std::length_error); an empty grid has nothing to fill.  Every dimension must fit a 32-bit
/// integer (the records name cells with 32-bit integers).
FillResult fill_depressions(Grid2D<float>& height, const CellBits& water,
                            const FillRecorder& record, const FillTuning& tuning = {},
                            const SweepProgress& progress = {});

}  // namespace rn::bedcarve
