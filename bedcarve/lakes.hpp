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
struct Lake {
  std::int32_t parent;    ///< union-find parent (itself at a root)
  std::int32_t size;      ///< cells in the lake
  std::int32_t rim;       ///< root of its rim heap (RimHeaps::kNone: empty)
  std::int32_t out_head;  ///< first entry of its outlet list, -1: none
  std::int32_t out_tail;  ///< last entry of its outlet list
  std::int32_t cls;       ///< its drainage class
  std::int32_t stamp;     ///< the start cell whose pit set holds it
  std::int32_t group;     ///< its raise group for that start cell, -1: none
  std::int32_t seed;      ///< a cell of the lake
  float level;            ///< its level while it has no raise group
  LakeState state;
};

/// All lakes of a run, joined by union-find (`find`).
/// Contract: lake ids are dense from 0; every cell is on the rim of at most
/// one lake root at a time as far as `rim_push` is concerned (a cell already
/// on the rim of the same root is not pushed again).  Rim heaps of merged
/// lakes meld in O(1); outlet lists splice in O(1).
class Lakes {
 public:
  explicit Lakes(std::size_t cells) : rim_owner_(cells, -1) {}

  Lake& operator[](std::int32_t l) { return lakes_[static_cast<std::size_t>(l)]; }
  const Lake& operator[](std::int32_t l) const { return lakes_[static_cast<std::size_t>(l)]; }
  std::int64_t count() const { return static_cast<std::int64_t>(lakes_.size()); }

  /// Root of lake `l` (path halving).
  std::int32_t find(std::int32_t l) {
    return find_root(l, [this](std::int32_t x) -> std::int32_t& { return (*this)[x].parent; });
  }

  /// A new pit lake at `level` around cell `seed`, of drainage class `cls`.
  std::int32_t create(float level, std::int32_t seed, std::int32_t cls);

  /// Adds cell `n` (height `key`, bits included) to the rim of lake root
  /// `l` unless it is already there.
  void rim_push(std::int32_t l, std::int32_t n, float key);
  /// Lowest rim candidate of root `l`: its height and cell (rim not empty).
  bool has_rim(std::int32_t l) const { return (*this)[l].rim != RimHeaps::kNone; }
  float rim_key(std::int32_t l) const { return rim_.key((*this)[l].rim); }
  std::int32_t rim_cell(std::int32_t l) const { return rim_.cell((*this)[l].rim); }
  void rim_pop(std::int32_t l) { (*this)[l].rim = rim_.pop((*this)[l].rim); }

  /// Notes cell `y` as a lower neighbour of lake root `l`.
  void add_outlet(std::int32_t l, std::int32_t y);
  /// True when lake root `l` (at `level`) still has an outlet below it by
  /// `value(cell)`; outlets raised to the level are dropped for good.
  template <typename Value>
  bool has_outlet(std::int32_t l, float level, Value&& value) {
    Lake& lake = (*this)[l];
    std::int32_t e = lake.out_head;
    while (e >= 0 && !(value(out_cell_[e]) < level)) e = out_next_[e];
    lake.out_head = e;
    if (e < 0) lake.out_tail = -1;
    return e >= 0;
  }

  /// Joins roots `a` and `b` (the larger lake stays root): sizes add, rims
  /// meld, outlet lists splice.  Returns the root kept; the caller sets its
  /// level, class and state.
  std::int32_t unite(std::int32_t a, std::int32_t b);

 private:
  std::vector<Lake> lakes_;
  std::vector<std::int32_t> rim_owner_;  ///< per cell: a lake whose rim holds it, -1
  RimHeaps rim_;
  std::vector<std::int32_t> out_cell_, out_next_;
};

}  // namespace rn::bedcarve
