// Drainage classes of the depression fill: every explored cell carries a
// class that names the set of pits its never-climbing paths lead to.  A class
// is a pit (one lake), a junction (the union of its successor classes) or
// drained.  Classes are only ever joined, never split, so one union-find
// holds them for the whole run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "union_find.hpp"

namespace rn::bedcarve {

enum class ClassKind : std::uint8_t { pit, junction, drained };

/// One class.  Fields other than `parent` are meaningful at roots only.
struct DrainageClass {
  std::int32_t parent;  ///< union-find parent (itself at a root)
  std::int32_t lake;    ///< the lake of a pit class
  std::int32_t stamp;   ///< the start cell whose walk last reached it
  std::int32_t mark;    ///< scratch mark of successor_list
  ClassKind kind;
  std::vector<std::int32_t> succ;  ///< successors of a junction (any ids)
};

/// All classes of a run.
/// Contract: ids are dense from 0.  A junction's pit set is the union of its
/// successors' pit sets; the successor lists may name non-root ids (each is
/// resolved by `find`).  Cost: union-find operations amortised near O(1);
/// successor lists are flattened while they stay within `flat_list` entries.
class DrainageClasses {
 public:
  explicit DrainageClasses(std::size_t flat_list) : flat_list_(flat_list) {}

  DrainageClass& operator[](std::int32_t x) { return classes_[static_cast<std::size_t>(x)]; }

  /// Root of class `x` (path halving).
  std::int32_t find(std::int32_t x) {
    return find_root(x, [this](std::int32_t y) -> std::int32_t& { return (*this)[y].parent; });
  }

  std::int32_t create(ClassKind kind, std::int32_t lake);

  /// Joins class roots of `a` and `b`; the root kept is the one with the
  /// longer successor list, which receives the other's list.
  std::int32_t join(std::int32_t a, std::int32_t b);

  /// Successor list of a junction: the distinct class roots of `from`
  /// (`self` excluded), each junction among them replaced by its own
  /// successors while the list stays within `flat_list` entries.  A
  /// junction's pit set is the union of its successors', so either form
  /// names the same pits; the flat one is walked faster.
  void successor_list(std::span<const std::int32_t> from, std::int32_t self,
                      std::vector<std::int32_t>& to);

  /// Rewrites the successor list of junction `x` (see successor_list).
  void compact(std::int32_t x);

  /// A junction over the class roots `list` (sorted on return): an existing
  /// one with the same successors when there is one (slope cells that lead
  /// to the same pits share one class), else a new one.
  std::int32_t shared_junction(std::vector<std::int32_t>& list);

  /// Makes root `x` a class of the given kind without successors.
  void settle_as(std::int32_t x, ClassKind kind) {
    classes_[x].kind = kind;
    std::vector<std::int32_t>().swap(classes_[x].succ);
  }

 private:
  /// True when `v` (any class ids) resolves to exactly the sorted roots `roots`.
  bool same_roots(const std::vector<std::int32_t>& v, const std::vector<std::int32_t>& roots);

  std::vector<DrainageClass> classes_;
  std::size_t flat_list_;
  std::int32_t mark_ = 0;
  std::unordered_map<std::uint64_t, std::int32_t> junctions_;  ///< by successor hash
  std::vector<std::int32_t> direct_, list_scratch_;
};

}  // namespace rn::bedcarve
