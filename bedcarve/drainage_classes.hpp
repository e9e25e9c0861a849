// Drainage classes of the depression fill: every explored cell carries a
// class that names the set of pits its never-climbing paths lead to.  A class
// is a pit (one lake), a junction (the union of its successor classes) or
// drained.  Classes are only ever joined, never split, so one union-find
// holds them for the whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "block_lists.hpp"
#include "chunked_vector.hpp"
#include "union_find.hpp"

namespace rn::bedcarve {

enum class ClassKind : std::uint8_t { pit, junction, drained };

/// One class.  Fields other than `parent` are meaningful at roots only.
template <typename Index>
struct DrainageClass {
  Index parent;         ///< union-find parent (itself at a root)
  Index lake;           ///< the lake of a pit class
  Index list;           ///< its successor list in the pool, -1: none
  ClassKind kind;
  bool walked;          ///< the current pass's walk has reached it
};

/// All classes of a run.
/// Contract: ids are dense from 0.  A junction's pit set is the union of its
/// successors' pit sets; the successor lists may name non-root ids (each is
/// resolved by `find`).  Cost: union-find operations amortised near O(1);
/// successor lists are flattened while they stay within `flat_list` entries.
/// Memory: 16 bytes a class; successor lists live in blocks whose emptied
/// ones are reused (block_lists.hpp).
template <typename Index>
class DrainageClasses {
 public:
  explicit DrainageClasses(std::size_t flat_list) : flat_list_(flat_list) {}

  DrainageClass<Index>& operator[](Index x) { return classes_[static_cast<std::size_t>(x)]; }

  /// Root of class `x` (path halving).
  Index find(Index x) {
    return find_root(x, [this](Index y) -> Index& { return (*this)[y].parent; });
  }

  Index create(ClassKind kind, Index lake);

  /// The successor list of class `x` (empty when it has none; the span
  /// holds until that list changes).
  std::span<Index> succ(Index x) {
    const Index l = classes_[static_cast<std::size_t>(x)].list;
    return l < 0 ? std::span<Index>() : lists_.get(static_cast<std::int32_t>(l));
  }
  std::size_t succ_size(Index x) const {
    const Index l = classes_[static_cast<std::size_t>(x)].list;
    return l < 0 ? 0 : lists_.size(static_cast<std::int32_t>(l));
  }
  /// Adds `y` to the successors of `x`.
  void add_succ(Index x, Index y);
  /// Gives the successor list of `x` back to the pool.
  void drop_succ(Index x);

  /// Joins class roots of `a` and `b`; the root kept is the one with the
  /// longer successor list, which receives the other's list.
  Index join(Index a, Index b);

  /// Successor list of a junction: the distinct class roots of `from`
  /// (`self` excluded), each junction among them replaced by its own
  /// successors while the list stays within `flat_list` entries.  A
  /// junction's pit set is the union of its successors', so either form
  /// names the same pits; the flat one is walked faster.
  void successor_list(std::span<const Index> from, Index self,
                      std::vector<Index>& to);

  /// Rewrites the successor list of junction `x` (see successor_list).
  void compact(Index x);

  /// A junction over the class roots `list` (sorted on return): an existing
  /// one with the same successors when there is one (slope cells that lead
  /// to the same pits share one class), else a new one.
  Index shared_junction(std::vector<Index>& list);

  /// Makes root `x` a class of the given kind without successors.
  void settle_as(Index x, ClassKind kind) {
    classes_[x].kind = kind;
    drop_succ(x);
  }

  /// Whether the current pass's walk has reached class `x`; marks it so,
  /// or not; and forgets every mark when a new pass begins (the marked
  /// classes are noted, so that costs as many steps as there are).
  bool walked(Index x) const { return classes_[static_cast<std::size_t>(x)].walked; }
  void mark_walked(Index x) {
    classes_[static_cast<std::size_t>(x)].walked = true;
    walked_.push_back(x);
  }
  void unmark_walked(Index x) { classes_[static_cast<std::size_t>(x)].walked = false; }
  void forget_walks() {
    for (Index x : walked_) classes_[static_cast<std::size_t>(x)].walked = false;
    walked_.clear();
  }

 private:
  /// True when `v` (any class ids) resolves to exactly the sorted roots `roots`.
  bool same_roots(std::span<const Index> v, const std::vector<Index>& roots);
  /// The classes one step of successor_list has met: a small open-address
  /// set, emptied by forgetting the slots it used.
  class Seen {
   public:
    /// Empties the set and makes room for `most` ids.
    void reset(std::size_t most);
    /// False when `y` is in the set already.
    bool insert(Index y);

   private:
    std::vector<Index> slots_;
    std::vector<std::size_t> used_;
  };

  ChunkedVector<DrainageClass<Index>> classes_;
  BlockLists<Index> lists_;
  std::size_t flat_list_;
  Seen seen_;
  std::vector<Index> walked_;  ///< the classes marked walked, some perhaps no longer
  /// Recent junctions by a hash of their successors (a lossy table: a
  /// junction it has forgotten is made again, which only costs a class);
  /// it doubles, starting empty, while junctions outnumber its slots.
  std::vector<Index> junctions_ = std::vector<Index>(std::size_t{1} << 12, -1);
  std::size_t junction_count_ = 0;
  std::vector<Index> direct_, list_scratch_;
};

extern template class DrainageClasses<std::int32_t>;
extern template class DrainageClasses<std::int64_t>;

}  // namespace rn::bedcarve
