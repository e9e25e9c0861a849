#include "child_grid.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "grid_readers.hpp"
#include "linkweaver_messages.hpp"
#include "parent_network.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

Ring::Ring(std::int32_t columns, std::int32_t rows) : columns_(columns), rows_(rows) {
  const auto width = static_cast<std::size_t>(columns);
  const std::size_t inner_rows = rows >= 3 ? static_cast<std::size_t>(rows - 2) : 0;
  north_ = width;
  west_ = rows >= 2 ? 2 * width : width;
  east_ = columns >= 2 ? west_ + inner_rows : west_;
  size_ = east_ + inner_rows;
}

void read_child_dimensions(std::string_view file, std::int32_t& ixrt, std::int32_t& jxrt) {
  read_grid_dimensions(kChildDimensions, file, ixrt, jxrt);
}

void parent_window(const ParentProjection& projection, const ChildGrid& child,
                   PerimeterMatch& match) {
  // A corner without a place on the parent grid (a missing or non-finite
  // latitude or longitude, a latitude beyond the poles such as a fill
  // value) leaves the window undefined.
  auto corner = [&](std::int32_t i, std::int32_t j, float& x, float& y) {
    const float lat = child.latitude.at(child.ring, i, j);
    const float lon = child.longitude.at(child.ring, i, j);
    projection.to_xy(lat, lon, x, y);
    if (!valid_lat_lon(lat, lon) || !std::isfinite(x) || !std::isfinite(y)) {
      text_stop(msg::kCornerHead + std::to_string(i) + msg::kCornerMid + std::to_string(j) +
                msg::kCornerTail);
    }
  };
  const std::int32_t ixrt = child.ring.columns();
  const std::int32_t jxrt = child.ring.rows();
  float x = 0.0f;
  float y = 0.0f;
  corner(1, 1, x, y);
  match.istart = truncate_to_int(x - 2.0f);
  match.jstart = truncate_to_int(y - 2.0f);
  corner(ixrt, jxrt, x, y);
  match.iend = truncate_to_int(x + 2.0f);
  match.jend = truncate_to_int(y + 2.0f);
  corner(1, jxrt, x, y);
  match.istart = std::min(match.istart, truncate_to_int(x - 2.0f));
  match.jend = std::max(match.jend, truncate_to_int(y + 2.0f));
  corner(ixrt, 1, x, y);
  match.iend = std::max(match.iend, truncate_to_int(x + 2.0f));
  match.jstart = std::min(match.jstart, truncate_to_int(y - 2.0f));
}

// Boundary nodes, edge by edge.
// Contract: the ring fields cover child.ring.  Each pass visits its cells in
// order (south and north: columns 1..ixrt; west and east: rows 2..jxrt-1)
// and numbers the qualifying ones from nodeNum + 1 on.  A grid one cell high
// (or wide) has one row (column) for both passes of that pair: its cells are
// judged twice and keep the later number.  Cost: O(ixrt + jxrt).
void find_boundary_nodes(ChildGrid& child, const RingField<std::int32_t>& channelgrid,
                         const RingField<std::int32_t>& flowdirection, bool flowin_out) {
  const Ring& ring = child.ring;
  child.nodeIndex.values.assign(ring.size(), kNoNode);
  child.nodeNum = 0;
  using Codes = std::array<std::int32_t, 3>;
  auto judge = [&](std::int32_t i, std::int32_t j, const Codes& inward) {
    if (channelgrid.at(ring, i, j) < -1) return;
    const std::int32_t code = flowdirection.at(ring, i, j);
    if (flowin_out || std::find(inward.begin(), inward.end(), code) != inward.end()) {
      child.nodeIndex.at(ring, i, j) = ++child.nodeNum;
    }
  };
  const std::int32_t ixrt = ring.columns();
  const std::int32_t jxrt = ring.rows();
  for (std::int32_t i = 1; i <= ixrt; ++i) judge(i, 1, {64, 128, 32});
  for (std::int32_t i = 1; i <= ixrt; ++i) judge(i, jxrt, {2, 4, 8});
  for (std::int32_t j = 2; j <= jxrt - 1; ++j) judge(1, j, {1, 128, 2});
  for (std::int32_t j = 2; j <= jxrt - 1; ++j) judge(ixrt, j, {16, 32, 8});
}

void read_child_grid(const NestingConfig& config, ChildGrid& child, PerimeterMatch& match) {
  std::int32_t ixrt = 0;
  std::int32_t jxrt = 0;
  read_child_dimensions(config.fulldom_child_f, ixrt, jxrt);
  out().record(msg::kChildSize, ixrt, jxrt);
  if (ixrt < 1 || jxrt < 1) {
    text_stop(msg::kNoChildCells);
  }
  // Perimeter numbers are 32-bit integers.
  if (2 * static_cast<std::int64_t>(ixrt) + 2 * static_cast<std::int64_t>(jxrt) >
      std::numeric_limits<std::int32_t>::max()) {
    text_stop(msg::kTooManyPerimeterCells);
  }
  child.ring = Ring(ixrt, jxrt);

  // Each ring field is sized by its reader once the variable is known to
  // hold the grid's number of values.
  RingField<std::int32_t> channelgrid;
  RingField<std::int32_t> flowdirection;
  const std::string& file = config.fulldom_child_f;
  read_ring(file, "CHANNELGRID", child.ring, channelgrid.values);
  read_ring(file, "FLOWDIRECTION", child.ring, flowdirection.values);
  read_ring(file, "STREAMORDER", child.ring, child.streamorder.values);
  read_ring(file, "LATITUDE", child.ring, child.latitude.values);
  read_ring(file, "LONGITUDE", child.ring, child.longitude.values);

  read_parent_anchor(config.geo_parent_f, match.lat0, match.lon0);
  parent_window(ParentProjection(config, match.lat0, match.lon0), child, match);
  out().record(msg::kWindowColumns, match.istart, match.iend);
  out().record(msg::kWindowRows, match.jstart, match.jend);

  find_boundary_nodes(child, channelgrid, flowdirection, config.flowin_out);
  out().record(msg::kNodeCount, child.nodeNum);
}

}  // namespace rn::linkweaver
