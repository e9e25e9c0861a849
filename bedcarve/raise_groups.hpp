// Raise groups of one start cell: the pits that one fill raises share a level
// from then on (within that start cell), so a union-find over them raises
// all of them at once.
#pragma once

#include <cstdint>
#include <vector>

#include "height_heaps.hpp"
#include "union_find.hpp"

namespace rn::bedcarve {

/// Contract: groups are created per start cell (`clear` between start
/// cells); a group's level only rises.  `raise_below` joins every group
/// below a fill height into one group at that height in O(k log n) for k
/// groups joined.
class RaiseGroups {
 public:
  void clear() {
    parent_.clear();
    level_.clear();
    heap_.clear();
  }

  /// A new group at `level`.
  std::int32_t create(float level) {
    const auto g = static_cast<std::int32_t>(parent_.size());
    parent_.push_back(g);
    level_.push_back(level);
    heap_.push(level, g);
    return g;
  }

  std::int32_t find(std::int32_t g) {
    return find_root(g, [this](std::int32_t x) -> std::int32_t& { return parent_[x]; });
  }
  /// Level of the group of `g`.
  float level(std::int32_t g) { return level_[find(g)]; }

  /// Raises every group below `minv` to `minv`, as one group.
  void raise_below(float minv) {
    std::int32_t merged = -1;
    while (!heap_.empty() && heap_.top().key < minv) {
      const Keyed e = heap_.top();
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
  std::vector<std::int32_t> parent_;
  std::vector<float> level_;
  MinHeap heap_;
};

}  // namespace rn::bedcarve
