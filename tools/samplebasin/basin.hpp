// The whole sample basin in memory: the parent model, the child window and
// its routing grid, with the derived lists that several files share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "child_network.hpp"
#include "frame.hpp"
#include "parent_network.hpp"
#include "preset.hpp"

namespace sb {

struct Gauge {
  std::int32_t cell = 0;    ///< parent cell (linear index)
  std::int32_t number = 0;  ///< station number
  std::string name;
};

struct Basin {
  Preset preset;
  std::uint64_t seed = 0;
  Frame frame;
  ParentNetwork parent;
  Grid<float> parent_lat, parent_lon;  ///< parent cell centres
  Window window;
  ChildGrid child;
  std::vector<BoundaryNode> nodes;     ///< child boundary nodes, in the mapping builder's order
  std::vector<std::int32_t> points;    ///< parent channel cells in channel-output record order
  std::vector<Gauge> gauges;
};

/// Builds the basin.  `progress` (if not null) receives one line per stage.
Basin build_basin(const Preset& preset, std::uint64_t seed, void (*progress)(const char* stage));

/// Parent cell of a child cell (0-based both).
inline std::size_t parent_cell_of(const Basin& b, int ci, int cj) {
  return b.parent.acc.index(b.window.i0 + ci / b.preset.refine, b.window.j0 + cj / b.preset.refine);
}

/// 1-based record position of a parent channel cell in the channel outputs,
/// 0 when the cell is not a channel cell.  Cost O(log points).
std::int32_t record_of(const Basin& b, std::size_t cell);

/// The parent channel cell that feeds a child cell: the channel cell of
/// largest accumulation in the smallest square ring around the child cell's
/// parent cell that holds one.  Cost O(ring cells).
std::size_t feeding_channel(const Basin& b, int ci, int cj);

}  // namespace sb
