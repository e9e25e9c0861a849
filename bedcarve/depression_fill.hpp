// Depression filling of a terrain height grid, the work of `run`.
//
// The sweep visits the start cells with i (west_east) in the outer loop and
// j (south_north) in the inner loop.  From each land cell that does not yet
// drain it repeats, at most 100 times: find the cells reachable by paths
// that never climb (the search set); if none of them is a terminal cell (the
// outermost ring, a water cell, a cell known to drain) compute `minv`, the
// lowest height among the strictly higher neighbours of the search set,
// write the "step 5" record, raise every cell of the search set below `minv`
// to `minv`, write the "step 6" record.  Heights are only ever raised.
//
// The outcome (heights and records) is that of the plain repeated search;
// depression_fill.cpp explains how it is reached without searching the
// whole depression again for every fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace rn::bedcarve {

/// Fill height that no terrain reaches: a failed search that found no higher
/// neighbour keeps it and the program stops.
inline constexpr float kBigMinv = 9999999.0f;
/// Fill height that marks a broken grid.
inline constexpr float kSmallMinv = -999.0f;
/// Fills per start cell before the sweep moves on.
inline constexpr int kMaxFills = 100;

/// What a conditioning run did.
struct FillCounts {
  std::int64_t fills = 0;        ///< "step 5"/"step 6" record pairs written
  std::int64_t start_cells = 0;  ///< start cells that needed at least one fill
  std::int64_t capped = 0;       ///< start cells given up after 100 fills
  std::int64_t lakes = 0;        ///< flat pits created (natural ones) while searching
};

/// Internal tuning; the defaults are what the program uses.  The result
/// never depends on them, only the time taken (tests vary them to reach
/// every path).
struct FillTuning {
  /// Longest successor list a junction class takes over from the
  /// junctions below it.
  std::size_t flat_list = 256;
};

/// Ends the program (status 1) when an ix by jx grid has 2^31 - 1 cells or
/// more: cells are numbered with 32-bit integers.
void check_grid_cells(std::int32_t ix, std::int32_t jx);

/// Conditions `height` (ix by jx, i fastest) in place.  `channel` holds 1 at
/// water cells.  Writes the "step 5"/"step 6" records on `rn::out()`; a fill
/// without any higher neighbour ends the program with the text stop "wrong
/// big minv for modify height", a fill height of -999.0 with "wrong small
/// minv for modify height" (status 1; earlier records stay written).
/// Grids of 2^31 cells or more end the program with a message (status 1).
FillCounts fill_depressions(std::span<float> height, std::span<const std::int32_t> channel,
                            std::int32_t ix, std::int32_t jx, const FillTuning& tuning = {});

}  // namespace rn::bedcarve
