// A min-heap keyed by a terrain height, for the depression fill: the
// pits of a pass of start cells by their rims, its raise groups by their
// levels, each lake's rim candidates by their heights.  `Index` is the integer type of the
// ids (32 bits for grids below 2^31 cells, else 64).
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace rn::bedcarve {

/// A heap entry: an id keyed by a height.
template <typename Index>
struct Keyed {
  float key;
  Index id;
};

/// Min-heap of keyed ids, four children a node: half the levels of a
/// binary heap, and a node's children sit side by side in memory, so a pop
/// from a large rim touches half as many cache lines.  Entries with equal
/// keys come out in no particular order.  push and pop cost O(log n).
template <typename Index>
class MinHeap {
 public:
  void clear() { v_.clear(); }
  /// Gives the storage back (an abandoned heap keeps no memory).
  void release() { std::vector<Keyed<Index>>().swap(v_); }
  bool empty() const { return v_.empty(); }
  std::size_t size() const { return v_.size(); }
  const Keyed<Index>& top() const { return v_.front(); }
  void push(float key, Index id) {
    if (v_.capacity() == 0) v_.reserve(8);  // a one-cell pit's rim at once
    v_.push_back({key, id});
    Keyed<Index>* const v = v_.data();
    const Keyed<Index> e = v_.back();
    std::size_t at = v_.size() - 1;
    while (at > 0) {
      const std::size_t up = (at - 1) / kArity;
      if (!(e.key < v[up].key)) break;
      v[at] = v[up];
      at = up;
    }
    v[at] = e;
  }
  void pop() {
    const Keyed<Index> last = v_.back();
    v_.pop_back();
    const std::size_t n = v_.size();
    if (n == 0) return;
    Keyed<Index>* const v = v_.data();
    std::size_t at = 0;
    for (;;) {
      const std::size_t first = at * kArity + 1;
      if (first >= n) break;
      std::size_t low = first;
      const std::size_t end = first + kArity < n ? first + kArity : n;
      for (std::size_t k = first + 1; k < end; ++k) {
        if (v[k].key < v[low].key) low = k;
      }
      if (!(v[low].key < last.key)) break;
      v[at] = v[low];
      at = low;
    }
    v[at] = last;
  }
  /// Moves every entry of `other` (left empty) into this heap; the smaller
  /// heap's entries are pushed into the larger, so a run of merges costs
  /// O(n log^2 n) at most.
  void absorb(MinHeap& other) {
    if (v_.size() < other.v_.size()) v_.swap(other.v_);
    for (const Keyed<Index>& e : other.v_) push(e.key, e.id);
    other.release();
  }

 private:
  static constexpr std::size_t kArity = 4;
  std::vector<Keyed<Index>> v_;
};

}  // namespace rn::bedcarve
