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
/// `Cell` numbers cells (and outlet entries), `Id` lakes and classes.
template <typename Cell, typename Id>
struct Lake {
  Id parent;           ///< union-find parent (itself at a root)
  Id cls;              ///< its drainage class
  Id group;            ///< its raise group for the current start cell, -1: none
  LakeState state;
  float level;         ///< its level while it has no raise group
  std::int64_t stamp;  ///< the start cell whose pit set holds it
  Cell size;           ///< cells in the lake
  Cell out_head;       ///< first entry of its outlet list, -1: none
  Cell out_tail;       ///< last entry of its outlet list
  Cell seed;           ///< a cell of the lake
  MinHeap<Cell> rim;   ///< neighbours above its level, by height (cells)
};

/// All lakes of a run, joined by union-find (`find`).
/// Contract: lake ids are dense from 0 (more than `Id` numbers is refused
/// with std::length_error).  A cell may wait on a rim more than once (the
/// caller keeps duplicates rare); the smaller rim of two merged lakes is
/// pushed into the larger, outlet lists splice in O(1).
template <typename Cell, typename Id>
class Lakes {
 public:
  Lake<Cell, Id>& operator[](Id l) { return lakes_[static_cast<std::size_t>(l)]; }
  const Lake<Cell, Id>& operator[](Id l) const { return lakes_[static_cast<std::size_t>(l)]; }
  std::int64_t count() const { return static_cast<std::int64_t>(lakes_.size()); }

  /// Root of lake `l` (path halving).
  Id find(Id l) {
    return find_root(l, [this](Id x) -> Id& { return (*this)[x].parent; });
  }

  /// A new pit lake at `level` around cell `seed`, of drainage class `cls`.
  Id create(float level, Cell seed, Id cls);

  /// Adds cell `n` (height `key`, bits included) to the rim of lake root `l`.
  void rim_push(Id l, Cell n, float key) { (*this)[l].rim.push(key, n); }
  bool has_rim(Id l) const { return !(*this)[l].rim.empty(); }
  /// Lowest rim candidate of root `l` (rim not empty): its height and cell.
  float rim_key(Id l) const { return (*this)[l].rim.top().key; }
  Cell rim_cell(Id l) const { return (*this)[l].rim.top().id; }
  void rim_pop(Id l) { (*this)[l].rim.pop(); }
  /// Drops the rim of a lake that will never be a pit again (it drains).
  void release_rim(Id l) { (*this)[l].rim.release(); }

  /// Notes cell `y` as a lower neighbour of lake root `l`.
  void add_outlet(Id l, Cell y);
  /// True when lake root `l` (at `level`) still has an outlet below it by
  /// `value(cell)`; outlets raised to the level are dropped for good.
  template <typename Value>
  bool has_outlet(Id l, float level, Value&& value) {
    Lake<Cell, Id>& lake = (*this)[l];
    Cell e = lake.out_head;
    while (e >= 0 && !(value(out_cell_[e]) < level)) e = out_next_[e];
    lake.out_head = e;
    if (e < 0) lake.out_tail = -1;
    return e >= 0;
  }

  /// Joins roots `a` and `b` (the larger lake stays root): sizes add, rims
  /// merge, outlet lists splice.  Returns the root kept; the caller sets its
  /// level, class and state.
  Id unite(Id a, Id b);

 private:
  std::vector<Lake<Cell, Id>> lakes_;
  std::vector<Cell> out_cell_, out_next_;
};

extern template class Lakes<std::int32_t, std::int32_t>;
extern template class Lakes<std::int64_t, std::int32_t>;

}  // namespace rn::bedcarve
