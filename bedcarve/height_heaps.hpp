// Min-heaps keyed by a terrain height, for the depression fill: a binary heap
// of (height, id) entries, and a pool of pairing heaps that meld in O(1)
// (the rim candidates of lakes that merge).  `Index` is the integer type of
// the ids (32 bits for grids below 2^31 cells, else 64).
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
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
  bool empty() const { return v_.empty(); }
  const Keyed<Index>& top() const { return v_.front(); }
  void push(float key, Index id) {
    v_.push_back({key, id});
    std::push_heap(v_.begin(), v_.end(), Above{});
  }
  void pop() {
    std::pop_heap(v_.begin(), v_.end(), Above{});
    v_.pop_back();
  }

 private:
  struct Above {
    bool operator()(const Keyed<Index>& a, const Keyed<Index>& b) const { return a.key > b.key; }
  };
  std::vector<Keyed<Index>> v_;
};

/// Pairing min-heaps of cells keyed by their heights, all in one node pool.
/// A heap is named by its root node (kNone: empty).  push and meld cost
/// O(1), pop amortised O(log n); popped nodes are reused, so the pool holds
/// as many nodes as wait at once.
template <typename Index>
class RimHeaps {
 public:
  static constexpr Index kNone = -1;

  float key(Index root) const { return nodes_[root].key; }
  Index cell(Index root) const { return nodes_[root].cell; }

  /// Adds `cell` keyed by `key` to the heap `root`; returns the new root.
  Index push(Index root, float key, Index cell) {
    Index n;
    if (free_ != kNone) {
      n = free_;
      free_ = nodes_[n].next;
      nodes_[n] = {key, cell, kNone, kNone};
    } else {
      n = static_cast<Index>(nodes_.size());
      nodes_.push_back({key, cell, kNone, kNone});
    }
    return meld(root, n);
  }

  /// One heap of the two; returns its root.
  Index meld(Index a, Index b) {
    if (a == kNone) return b;
    if (b == kNone) return a;
    if (nodes_[b].key < nodes_[a].key) std::swap(a, b);
    nodes_[b].next = nodes_[a].child;
    nodes_[a].child = b;
    return a;
  }

  /// Removes the root; returns the new root.  Two-pass pairing.
  Index pop(Index root) {
    Index child = nodes_[root].child;
    nodes_[root].next = free_;
    free_ = root;
    pairs_.clear();
    while (child != kNone) {
      Index a = child;
      Index b = nodes_[a].next;
      if (b == kNone) {
        nodes_[a].next = kNone;
        pairs_.push_back(a);
        break;
      }
      child = nodes_[b].next;
      nodes_[a].next = kNone;
      nodes_[b].next = kNone;
      pairs_.push_back(meld(a, b));
    }
    Index result = kNone;
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) result = meld(result, *it);
    return result;
  }

 private:
  struct Node {
    float key;
    Index cell;
    Index child;
    Index next;
  };
  std::vector<Node> nodes_;
  std::vector<Index> pairs_;
  Index free_ = kNone;
};

}  // namespace rn::bedcarve
