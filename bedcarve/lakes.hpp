// Lakes of the depression fill: flat pits that the fill has found or raised,
// each with one level for all of its cells, the rim cells around it that are
// candidates for its next fill height, and the lower cells it spills into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chunked_vector.hpp"
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
  Id parent;             ///< union-find parent (itself at a root)
  Id cls;                ///< its drainage class
  Id group;              ///< its raise group while in the current pass, else -1
  Id rim;                ///< its rim heap in the pool, -1: none
  float level;           ///< its level while it has no raise group
  Cell size;             ///< cells in the lake
  Cell outlets;          ///< last entry of its ring of outlets, -1: none
  LakeState state;
  bool rim_dropped;      ///< its rim was let go while it spilled (see drop_rim)
};

/// All lakes of a run, joined by union-find (`find`).
/// Contract: lake ids are dense from 0 (more than `Id` numbers is refused
/// with std::length_error).  A cell may wait on a rim more than once (the
/// caller keeps duplicates rare); the smaller rim of two merged lakes is
/// pushed into the larger, outlet lists splice in O(1).  Rims live in a pool
/// of heaps and outlet entries in a pool of list nodes, both reused, so
/// what the lakes hold beyond their fixed 32 bytes (40 with 64-bit cells) is
/// the rims and outlets of the lakes that can still use them.
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

  /// A new pit lake at `level` of drainage class `cls`.
  Id create(float level, Id cls);

  /// Adds cell `n` (height `key`, bits included) to the rim of lake root `l`.
  void rim_push(Id l, Cell n, float key);
  bool has_rim(Id l) const {
    const Id r = (*this)[l].rim;
    return r >= 0 && !rims_[static_cast<std::size_t>(r)].empty();
  }
  /// The rim of root `l` as a heap, or null when it has none (valid until
  /// the next operation on the rims).
  MinHeap<Cell>* rim_heap(Id l) {
    const Id r = (*this)[l].rim;
    return r < 0 ? nullptr : &rims_[static_cast<std::size_t>(r)];
  }
  /// Height of the lowest rim candidate of root `l` (rim not empty).
  float rim_key(Id l) const { return rim_of(l).top().key; }
  /// Drops the rim of a lake that will never be a pit again (it drains).
  void release_rim(Id l);
  /// Drops the rim of a spilled lake; whoever merges it later rebuilds it
  /// from its cells (`rim_dropped` tells).
  void drop_rim(Id l) {
    release_rim(l);
    (*this)[l].rim_dropped = true;
  }

  /// Notes cell `y` as a lower neighbour of lake root `l`.
  void add_outlet(Id l, Cell y);
  /// True when lake root `l` (at `level`) still has an outlet below it by
  /// `value(cell)`; outlets raised to the level are dropped for good.
  template <typename Value>
  bool has_outlet(Id l, float level, Value&& value) {
    Lake<Cell, Id>& lake = (*this)[l];
    while (lake.outlets >= 0) {
      const Cell tail = lake.outlets, head = out_next_[tail];
      if (value(out_cell_[head]) < level) return true;
      if (head == tail) {
        lake.outlets = -1;
      } else {
        out_next_[tail] = out_next_[head];
      }
      free_outlet(head);
    }
    return false;
  }
  /// Gives back the outlet list of lake root `l` (it drains).
  void release_outlets(Id l);

  /// Joins roots `a` and `b` (the larger lake stays root): sizes add, rims
  /// merge, outlet lists splice.  Returns the root kept; the caller sets its
  /// level, class and state.
  Id unite(Id a, Id b);

 private:
  const MinHeap<Cell>& rim_of(Id l) const {
    return rims_[static_cast<std::size_t>((*this)[l].rim)];
  }
  void free_outlet(Cell e) {
    out_next_[e] = free_outlet_;
    free_outlet_ = e;
  }

  ChunkedVector<Lake<Cell, Id>> lakes_;
  std::vector<MinHeap<Cell>> rims_;
  std::vector<Id> free_rims_;
  std::vector<Cell> out_cell_, out_next_;
  Cell free_outlet_ = -1;
};

extern template class Lakes<std::int32_t, std::int32_t>;
extern template class Lakes<std::int64_t, std::int32_t>;

}  // namespace rn::bedcarve
