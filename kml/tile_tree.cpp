#include "tile_tree.hpp"

#include <algorithm>
#include <limits>
#include <numeric>

namespace rn::kml {
namespace {

struct Builder {
  std::span<const TilePoint> points;
  std::size_t capacity;
  TileTree tree;

  /// True when point a goes before point b: higher priority, then lower index.
  bool before(std::uint32_t a, std::uint32_t b) const {
    if (points[a].priority != points[b].priority) return points[a].priority > points[b].priority;
    return a < b;
  }

  /// Makes node `at` of the points order[first, last) within `box` and its
  /// subtree.  Iterative over a stack of pending nodes (deep trees of many
  /// points at one place must not exhaust the call stack).
  void build(TileBox root_box) {
    struct Pending {
      std::size_t node, first, last;
    };
    std::vector<Pending> stack;
    tree.nodes.push_back({root_box, 0, tree.order.size(), {}, 0});
    stack.push_back({0, 0, tree.order.size()});
    while (!stack.empty()) {
      const Pending p = stack.back();
      stack.pop_back();
      const auto begin = tree.order.begin();
      const auto by_rank = [this](std::uint32_t a, std::uint32_t b) { return before(a, b); };
      std::size_t own = p.last - p.first;
      if (own > capacity) {
        std::nth_element(begin + p.first, begin + p.first + capacity, begin + p.last, by_rank);
        own = capacity;
      }
      std::sort(begin + p.first, begin + p.first + own);
      tree.nodes[p.node].first = p.first;
      tree.nodes[p.node].count = own;
      const std::size_t rest = p.first + own;
      if (rest == p.last) continue;
      const TileBox box = tree.nodes[p.node].box;
      const int depth = tree.nodes[p.node].depth + 1;
      std::vector<Pending> children;
      if (depth <= kMaxTileDepth) {
        const float mid_lon = box.west + (box.east - box.west) * 0.5f;
        const float mid_lat = box.south + (box.north - box.south) * 0.5f;
        const auto east = [&](std::uint32_t i) { return points[i].lon >= mid_lon; };
        const auto north = [&](std::uint32_t i) { return points[i].lat >= mid_lat; };
        const auto split_lon = std::partition(begin + rest, begin + p.last,
                                              [&](std::uint32_t i) { return !east(i); });
        const auto west_split = std::partition(begin + rest, split_lon,
                                               [&](std::uint32_t i) { return !north(i); });
        const auto east_split = std::partition(split_lon, begin + p.last,
                                               [&](std::uint32_t i) { return !north(i); });
        const std::size_t cut[5] = {rest, static_cast<std::size_t>(west_split - begin),
                                    static_cast<std::size_t>(split_lon - begin),
                                    static_cast<std::size_t>(east_split - begin), p.last};
        const TileBox quarter[4] = {{box.west, box.south, mid_lon, mid_lat},
                                    {box.west, mid_lat, mid_lon, box.north},
                                    {mid_lon, box.south, box.east, mid_lat},
                                    {mid_lon, mid_lat, box.east, box.north}};
        for (int q = 0; q < 4; ++q) {
          if (cut[q] == cut[q + 1]) continue;
          children.push_back({add_child(p.node, quarter[q], depth), cut[q], cut[q + 1]});
        }
      } else {
        // No further split: deal the rest out by rank into children of the
        // same box.
        std::sort(begin + rest, begin + p.last, by_rank);
        for (std::size_t at = rest; at < p.last; at += capacity) {
          const std::size_t end = std::min(p.last, at + capacity);
          std::sort(begin + at, begin + end);
          const std::size_t child = add_child(p.node, box, depth);
          tree.nodes[child].first = at;
          tree.nodes[child].count = end - at;
        }
      }
      // Depth first, children in quarter order.
      for (auto c = children.rbegin(); c != children.rend(); ++c) stack.push_back(*c);
    }
  }

  std::size_t add_child(std::size_t parent, TileBox box, int depth) {
    tree.nodes.push_back({box, 0, 0, {}, depth});
    const std::size_t child = tree.nodes.size() - 1;
    tree.nodes[parent].children.push_back(child);
    return child;
  }
};

}  // namespace

TileTree build_tile_tree(std::span<const TilePoint> points, std::size_t capacity) {
  Builder b{points, std::max<std::size_t>(capacity, 1), {}};
  b.tree.order.resize(points.size());
  std::iota(b.tree.order.begin(), b.tree.order.end(), std::uint32_t{0});
  TileBox box{0.0f, 0.0f, 0.0f, 0.0f};
  if (!points.empty()) {
    box = {std::numeric_limits<float>::max(), std::numeric_limits<float>::max(),
           std::numeric_limits<float>::lowest(), std::numeric_limits<float>::lowest()};
    for (const TilePoint& p : points) {
      box.west = std::min(box.west, p.lon);
      box.east = std::max(box.east, p.lon);
      box.south = std::min(box.south, p.lat);
      box.north = std::max(box.north, p.lat);
    }
    // Points on one line or at one place: a box of some size around them,
    // so that its region can cover pixels on screen.
    const auto widen = [](float& low, float& high) {
      if (high - low >= kMinTileExtent) return;
      const float middle = low + (high - low) * 0.5f;
      low = middle - kMinTileExtent * 0.5f;
      high = middle + kMinTileExtent * 0.5f;
    };
    widen(box.west, box.east);
    widen(box.south, box.north);
  }
  b.build(box);
  return std::move(b.tree);
}

}  // namespace rn::kml
