// Raise groups of one pass of start cells: the pits that one fill raises
// share a level from then on (within that pass), so a union-find over them
// raises all of them at once.
#pragma once

#include <vector>

#include "height_heaps.hpp"
#include "union_find.hpp"

namespace rn::bedcarve {

/// Contract: groups are created per pass of start cells (`clear` between
/// passes); a group's level only rises.  `raise_below` joins every group
/// below a fill height into one group at that height in O(k log n) for k
/// groups joined.
template <typename Index>
class RaiseGroups {
 public:
  void clear() {
    parent_.clear();
    level_.clear();
    heap_.clear();
  }

  /// A new group at `level`.
  Index create(float level) {
    const auto g = static_cast<Index>(parent_.size());
    parent_.push_back(g);
    level_.push_back(level);
    heap_.push(level, g);
    return g;
  }

  Index find(Index g) {
    return find_root(g, [this](Index x) -> Index& { return parent_[x]; });
  }
  /// Level of the group of `g`.
  float level(Index g) { return level_[find(g)]; }

  /// Raises every group below `minv` to `minv`, as one group.
  void raise_below(float minv) {
    Index merged = -1;
    while (!heap_.empty() && heap_.top().key < minv) {
      const Keyed<Index> e = heap_.top();
      heap_.pop();
      if (parent_[e.id] != e.id || !(level_[e.id] == e.key)) continue;  // stale entry
      if (merged < 0) {
        merged = e.id;
      } else {
        parent_[e.id] = merged;
      }
    }
    if (merged >= 0) {
      level_[merged] = minv;
      heap_.push(minv, merged);
    }
  }

 private:
  std::vector<Index> parent_;
  std::vector<float> level_;
  MinHeap<Index> heap_;
};

}  // namespace rn::bedcarve
