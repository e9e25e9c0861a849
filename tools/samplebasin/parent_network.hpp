// The parent model's river network on the parent grid: channel cells,
// links (channel segments between confluences, cut to a longest length),
// their Strahler orders and identifiers, the catchment polygon of every
// link and the overlap records (polygon, parent cell, share of the polygon).
#pragma once

#include <cstdint>
#include <vector>

#include "drainage.hpp"
#include "grid.hpp"
#include "preset.hpp"

namespace sb {

struct Link {
  std::int32_t id = 0;      ///< identifier written to the files
  std::int32_t head = 0;    ///< linear index of the first (upstream) cell
  std::int32_t outlet = 0;  ///< linear index of the last (downstream) cell
  std::int32_t to = -1;     ///< index of the downstream link, -1 at the sea or the edge
  std::uint8_t order = 1;   ///< Strahler order
  bool listed = true;       ///< false: missing from the route-link file (kept in the overlap file)
  bool doubled = false;     ///< true: listed twice in the route-link file
};

/// One overlap record: the parent cell and the share of the polygon's area
/// that lies in it.
struct Overlap {
  std::int32_t cell = 0;
  double weight = 0.0;
};

struct ParentNetwork {
  Surface surface;
  Grid<std::int32_t> acc;          ///< accumulation in parent cells
  Grid<std::uint8_t> channel;      ///< 1 on channel cells
  Grid<std::int32_t> catchment;    ///< link whose polygon holds most of the cell, -1 none
  std::vector<Link> links;         ///< in route-link order
  std::vector<std::int64_t> first; ///< overlap records of link k: first[k] .. first[k+1]-1
  std::vector<Overlap> overlaps;   ///< grouped by link, cells ascending within a link
};

/// Builds the network from the drained parent surface.  Link identifiers are
/// unique, seeded and not sorted; every overlap group's weights add up to 1.
/// Cost O(cells) plus a sort of each polygon's few records.
ParentNetwork build_parent_network(Surface surface, const Preset& preset, std::uint64_t seed);

/// The child window: the block of parent cells that the child grid covers.
struct Window {
  int i0 = 0, j0 = 0;  ///< first parent column and row (0-based)
  int nx = 0, ny = 0;  ///< parent cells across and up
  bool contains(int i, int j) const { return i >= i0 && j >= j0 && i < i0 + nx && j < j0 + ny; }
};

/// Places the child window where parent rivers cross its edge inward and a
/// little sea lies inside, keeping `preset.margin` cells (and a few more)
/// from the parent edge.  Deterministic: the best of a lattice of
/// positions.  Cost O(candidates x window perimeter).
Window choose_window(const ParentNetwork& net, const Preset& preset);

/// Real route-link files miss a few links that the overlap file has and
/// list a few twice: marks three links as missing and two as doubled, all
/// with every overlap cell well away from the window, so that the nesting
/// run never meets them.
void mark_irregular_links(ParentNetwork& net, const Window& window, std::uint64_t seed);

/// Index of a route-link entry: the links in order, doubled ones again at
/// the end; missing ones left out.
std::vector<std::int32_t> route_link_entries(const ParentNetwork& net);

}  // namespace sb
