// A tree of tiles over points with a priority, for a globe that loads only
// the part of a large set that is in view.
//
// The tree is a quadtree over the points' bounding box.  Every node keeps up
// to `capacity` points of its box: the highest-priority ones that none of
// its ancestors took.  The rest go to the children, one per quarter of the
// box that holds any.  So the root holds the most important points of the
// whole set, each level below adds the next most important of a smaller
// area, and every point is in exactly one node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace rn::kml {

/// One point to place: its position and its priority (higher first).
struct TilePoint {
  float lon;
  float lat;
  std::uint64_t priority;
};

/// A box of longitudes and latitudes, edges included.
struct TileBox {
  float west;
  float south;
  float east;
  float north;
};

struct TileNode {
  TileBox box;
  std::size_t first;  ///< its points: order[first, first + count)
  std::size_t count;
  std::vector<std::size_t> children;  ///< indices of its child nodes
  int depth;
};

struct TileTree {
  /// Node 0 is the root; a child comes after its parent.
  std::vector<TileNode> nodes;
  /// Point indices grouped by node, each node's in increasing index order.
  std::vector<std::uint32_t> order;
};

/// Quarters are split no deeper than this; below it a node's remaining
/// points are dealt out to children of the same box, `capacity` each, by
/// priority (many points at one place).
inline constexpr int kMaxTileDepth = 24;

/// The root box spans at least this many degrees each way.
inline constexpr float kMinTileExtent = 1e-3f;

// Contract: builds the tree of `points` (at most 2^32 - 1) with nodes of at
// most `capacity` (> 0) points each.  The root's box is the bounding box of
// all points, widened to kMinTileExtent where narrower; a child's box is a quarter of its parent's (a point on the
// middle line goes east or north), so boxes nest and every node's points lie
// in its box.  Within a node's subtree no point outranks one of the node's
// own (priority, ties broken by the lower index).  An empty set gives one
// empty root.  Non-finite positions are the caller's to keep out.
// Deterministic.  Cost: O(n log n) time, O(n) memory.
TileTree build_tile_tree(std::span<const TilePoint> points, std::size_t capacity);

}  // namespace rn::kml
