// The child routing grid: its size, the ring of cells along its outer edge
// (rows counted from the south), the boundary nodes where rivers enter the
// child domain, and the parent window that covers the domain.
#pragma once

#include <cstdint>
#include <string_view>

#include "configuration.hpp"
#include "state.hpp"

namespace rn::linkweaver {

/// Lengths of the dimensions `x` (`ixrt`) and `y` (`jxrt`) of the child
/// routing grid file.
void read_child_dimensions(std::string_view file, std::int32_t& ixrt, std::int32_t& jxrt);

/// Sets `istart`, `iend`, `jstart`, `jend` of `match` from the four corner
/// cells of the child grid placed on the parent grid, two parent cells of
/// margin on every side, truncated toward zero.  Not clipped to the parent
/// grid.  A corner whose latitude is not within -90..90, whose longitude is
/// not finite or whose parent grid coordinates are not finite ends the run
/// (status 1).
void parent_window(const ParentProjection& projection, const ChildGrid& child,
                   PerimeterMatch& match);

/// Numbers the boundary nodes: channel cells (`channelgrid` >= -1) of the
/// south, north, west and east edges, in that order, whose flow direction
/// points into the domain across that edge, or every edge channel cell when
/// `flowin_out` holds.  The four corners are judged by the south and north
/// passes.  Fills `nodeIndex` (kNoNode elsewhere) and `nodeNum`.
void find_boundary_nodes(ChildGrid& child, const RingField<std::int32_t>& channelgrid,
                         const RingField<std::int32_t>& flowdirection, bool flowin_out);

/// Reads the child routing grid's ring, fetches parent cell (1, 1), sets the
/// parent window and finds the boundary nodes, with the records "ixrt, jxrt",
/// "ix, jx ", "lat0 , lon0 ", "istart, iend ", "jstart, jend " and
/// "child%nodeNum = ".
void read_child_grid(const NestingConfig& config, ChildGrid& child, PerimeterMatch& match);

}  // namespace rn::linkweaver
