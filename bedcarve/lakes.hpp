// Lakes of the depression fill: flat pits that the fill has found or raised,
// each with one level for all of its cells, the rim cells around it that are
// candidates for its next fill height, and the lower cells it spills into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "height_heaps.hpp"
#include "union_find.hpp"

namespace rn::bedcarve {

/// What a lake is for the search from a start cell.
enum class LakeState : std::uint8_t {
  pit,      ///< no lower neighbour: a search that reaches it fails there
  spilled,  ///< it has a lower neighbour and leads on to the pits below
  drained,  ///< it touches a draining cell
};

/// One lake.  Fields other than `parent` are meaningful at roots only.
template <typename Index>
struct Lake {
  Index parent;    ///< union-find parent (itself at a root)
  Index size;      ///< cells in the lake
  Index out_head;  ///< first entry of its outlet list, -1: none
  Index out_tail;  ///< last entry of its outlet list
  Index cls;       ///< its drainage class
  Index stamp;     ///< the start cell whose pit set holds it
  Index group;     ///< its raise group for that start cell, -1: none
  Index seed;      ///< a cell of the lake
  float level;     ///< its level while it has no raise group
  LakeState state;
  MinHeap<Index> rim;  ///< neighbours above its level, by height (cell ids)
};

/// All lakes of a run, joined by union-find (`find`).
/// Contract: lake ids are dense from 0.  A cell may wait on a rim more than
/// once (the caller keeps duplicates rare); the smaller rim of two merged
/// lakes is pushed into the larger, outlet lists splice in O(1).
template <typename Index>
class Lakes {
 public:
  Lake<Index>& operator[](Index l) { return lakes_[static_cast<std::size_t>(l)]; }
  const Lake<Index>& operator[](Index l) const { return lakes_[static_cast<std::size_t>(l)]; }
  std::int64_t count() const { return static_cast<std::int64_t>(lakes_.size()); }

  /// Root of lake `l` (path halving).
  Index find(Index l) {
    return find_root(l, [this](Index x) -> Index& { return (*this)[x].parent; });
  }

  /// A new pit lake at `level` around cell `seed`, of drainage class `cls`.
  Index create(float level, Index seed, Index cls) {
    const auto l = static_cast<Index>(lakes_.size());
    lakes_.push_back({l, 0, -1, -1, cls, 0, -1, seed, level, LakeState::pit, {}});
    return l;
  }

  /// Adds cell `n` (height `key`, bits included) to the rim of lake root `l`.
  void rim_push(Index l, Index n, float key) { (*this)[l].rim.push(key, n); }
  bool has_rim(Index l) const { return !(*this)[l].rim.empty(); }
  /// Lowest rim candidate of root `l` (rim not empty): its height and cell.
  float rim_key(Index l) const { return (*this)[l].rim.top().key; }
  Index rim_cell(Index l) const { return (*this)[l].rim.top().id; }
  void rim_pop(Index l) { (*this)[l].rim.pop(); }
  /// Drops the rim of a lake that will never be a pit again (it drains).
  void release_rim(Index l) { (*this)[l].rim.release(); }

  /// Notes cell `y` as a lower neighbour of lake root `l`.
  void add_outlet(Index l, Index y);
  /// True when lake root `l` (at `level`) still has an outlet below it by
  /// `value(cell)`; outlets raised to the level are dropped for good.
  template <typename Value>
  bool has_outlet(Index l, float level, Value&& value) {
    Lake<Index>& lake = (*this)[l];
    Index e = lake.out_head;
    while (e >= 0 && !(value(out_cell_[e]) < level)) e = out_next_[e];
    lake.out_head = e;
    if (e < 0) lake.out_tail = -1;
    return e >= 0;
  }

  /// Joins roots `a` and `b` (the larger lake stays root): sizes add, rims
  /// meld, outlet lists splice.  Returns the root kept; the caller sets its
  /// level, class and state.
  Index unite(Index a, Index b);

 private:
  std::vector<Lake<Index>> lakes_;
  std::vector<Index> out_cell_, out_next_;
};

extern template class Lakes<std::int32_t>;
extern template class Lakes<std::int64_t>;

}  // namespace rn::bedcarve
