// Drainage of a height field: the open sea, depression filling, D8 flow
// directions, an upstream-first cell order, flow accumulation and Strahler
// stream orders.  One implementation serves the parent grid and the child
// region alike.
#pragma once

#include <cstdint>
#include <vector>

#include "grid.hpp"

namespace sb {

/// Water classes of a surface cell.
enum : std::uint8_t { kLand = 0, kSea = 1, kLake = 2 };

/// Rules that turn closed depressions into lakes.
struct LakeRule {
  std::uint64_t seed = 0;
  float min_depth_m = 1.0f;     ///< deepest point below the spill level
  int min_cells = 4;            ///< smallest lake
  double probability = 0.5;     ///< share of qualifying depressions that hold water
};

/// A drained surface: the terrain as written to files, its water classes,
/// the D8 direction of every cell and an upstream-first order of all cells.
struct Surface {
  Grid<float> height;                ///< sea cells at 0, lakes flat at their spill level
  Grid<std::uint8_t> water;          ///< kLand, kSea or kLake
  Grid<std::uint8_t> dir;            ///< D8 index 0..7 of every cell
  std::vector<std::int32_t> order;   ///< every cell once, each before its downstream cell
};

/// The open sea: cells at or below 0 m joined to the grid edge through such
/// cells (eight neighbours).  Cost O(cells).
Grid<std::uint8_t> find_sea(const Grid<float>& height);

/// Priority-flood depression filling with an epsilon gradient.
/// Assumes: `outlet` marks the cells water may leave by (at least one).
/// Guarantees: filled >= height everywhere; every cell that is not an outlet
/// has a neighbour with a strictly lower filled height, so a path that
/// always descends leads from it to an outlet.  Flats are given the
/// smallest float steps away from their exit.  The flood takes open cells
/// by 1 mm height classes, so a fill may exceed the least one by up to 1 mm.
/// Cost: O(n + height range / 1 mm).
Grid<float> fill_depressions(const Grid<float>& height, const Grid<std::uint8_t>& outlet);

/// Flow directions.  Edge cells point off the grid (outward; corners
/// diagonally); sea cells point along a shortest path through the sea to
/// the edge; every other cell points to its steepest strictly lower
/// neighbour on `filled` (slope over distance, diagonals sqrt 2, ties to the
/// lowest direction index).  Assumes `filled` comes from fill_depressions
/// with the edge and the sea as outlets.  Cost O(cells).
Grid<std::uint8_t> flow_directions(const Grid<float>& filled, const Grid<std::uint8_t>& sea);

/// Linear index of the downstream cell, or -1 when the flow leaves the grid.
inline std::int64_t downstream(const Grid<std::uint8_t>& dir, std::size_t k) {
  const std::uint8_t d = dir[k];
  if (d == kNoDir) return -1;
  const int i = static_cast<int>(k % static_cast<std::size_t>(dir.nx)) + kDi[d];
  const int j = static_cast<int>(k / static_cast<std::size_t>(dir.nx)) + kDj[d];
  if (!dir.inside(i, j)) return -1;
  return static_cast<std::int64_t>(dir.index(i, j));
}

/// Every cell once, each before the cell it drains to (Kahn's algorithm).
/// Assumes the directions form no cycle (fails otherwise).  Cost O(cells).
std::vector<std::int32_t> upstream_first(const Grid<std::uint8_t>& dir);

/// Marks closed depressions of `height` (cells whose filled height lies more
/// than a few centimetres above them) as lakes by `rule`, flattening each
/// lake to its spill level in `height`.  Cost O(cells).
void mark_lakes(Grid<float>& height, const Grid<float>& filled, const LakeRule& rule,
                Grid<std::uint8_t>& water);

/// The whole derivation from raw heights: sea, filling, lakes, directions,
/// order.  Cost O(n).
Surface derive_surface(Grid<float> raw, const LakeRule& rule);

/// Flow accumulation in cells: each cell counts itself, `extra` (if given)
/// and everything upstream.  Flow stops at the sea: sea cells neither pass
/// nor receive.  Cost O(cells).
Grid<std::int32_t> accumulate(const Surface& surface, const Grid<std::int32_t>* extra = nullptr);

/// Strahler orders of the channel cells (`channel` nonzero), 0 elsewhere.
/// A channel cell without channel tributaries has order 1; where two or
/// more tributaries of the highest order meet, the order grows by one.
/// `inflow_order` (if given) adds, at a cell, a tributary of that order
/// coming from outside the grid.  Cost O(cells).
Grid<std::uint8_t> strahler(const Surface& surface, const Grid<std::uint8_t>& channel,
                            const Grid<std::uint8_t>* inflow_order = nullptr);

}  // namespace sb
