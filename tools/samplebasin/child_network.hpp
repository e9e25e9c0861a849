// The child routing grid: the terrain of the child window at `refine` times
// the parent resolution, drained over the window and a margin around it, with
// the parent rivers that flow into that region injected at its edge (their
// upstream area and stream order) and the larger parent rivers cut into the
// fine terrain, so that the child rivers cross the window edge where the
// parent rivers do.
#pragma once

#include <cstdint>
#include <vector>

#include "frame.hpp"
#include "grid.hpp"
#include "parent_network.hpp"
#include "preset.hpp"
#include "terrain.hpp"

namespace sb {

struct ChildGrid {
  Grid<float> height;          ///< terrain, sea at 0, lakes flat
  Grid<std::uint8_t> water;    ///< kLand, kSea, kLake
  Grid<std::uint8_t> dir;      ///< D8 index of every cell
  Grid<std::int32_t> acc;      ///< accumulation in child cells, upstream inflow included
  Grid<std::uint8_t> channel;  ///< 1 on channel cells
  Grid<std::uint8_t> order;    ///< Strahler order of channel cells, 0 elsewhere
  Grid<float> lat, lon;        ///< cell centres, degrees
};

/// Builds the child grid of `window`.  Cost O(region cells).
ChildGrid build_child_grid(const ParentNetwork& parent, const Window& window, const Preset& preset,
                           const TerrainModel& terrain, const Frame& frame, std::uint64_t seed);

/// Parent grid coordinate (1-based) of the centre of child column `ci`
/// (0-based) of a window starting at parent column `i0` (0-based).
inline float child_to_parent(int i0, int ci, int refine) {
  return static_cast<float>(static_cast<double>(i0) + 0.5 + (ci + 0.5) / refine);
}

/// A child boundary node: an edge channel cell whose flow enters the grid.
struct BoundaryNode {
  int i = 0, j = 0;  ///< child cell, 0-based, rows from the south
};

/// The boundary nodes in the order the mapping builder finds them: the
/// south edge west to east, the north edge, then the west and east edges
/// south to north without their corners.  Cost O(perimeter).
std::vector<BoundaryNode> boundary_nodes(const ChildGrid& child);

}  // namespace sb
