// A binary min-heap keyed by a terrain height, for the depression fill: the
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

/// Binary min-heap of keyed ids.  Entries with equal keys come out in no
/// particular order.  push and pop cost O(log n).
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
    std::push_heap(v_.begin(), v_.end(), Above{});
  }
  /// Takes the hole at the top down to the bottom along the smaller child,
  /// choosing it without a branch (which child is smaller is a coin toss
  /// the processor would guess wrong half the time), then lets the last
  /// entry rise into it: it mostly stays at the bottom.
  void pop() {
    const Keyed<Index> last = v_.back();
    v_.pop_back();
    const std::size_t n = v_.size();
    if (n == 0) return;
    Keyed<Index>* const v = v_.data();
    std::size_t hole = 0;
    for (std::size_t child = 1; child < n; child = 2 * hole + 1) {
      if (child + 1 < n) child += v[child + 1].key < v[child].key;
      v[hole] = v[child];
      hole = child;
    }
    while (hole > 0) {
      const std::size_t up = (hole - 1) / 2;
      if (!(last.key < v[up].key)) break;
      v[hole] = v[up];
      hole = up;
    }
    v[hole] = last;
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
  struct Above {
    bool operator()(const Keyed<Index>& a, const Keyed<Index>& b) const { return a.key > b.key; }
  };
  std::vector<Keyed<Index>> v_;
};

}  // namespace rn::bedcarve
