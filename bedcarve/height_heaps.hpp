// Min-heaps keyed by a terrain height, for the depression fill: a binary heap
// of (height, id) entries, and a pool of pairing heaps that meld in O(1)
// (the rim candidates of lakes that merge).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace rn::bedcarve {

/// A heap entry: an id keyed by a height.
struct Keyed {
  float key;
  std::int32_t id;
};

/// Binary min-heap of keyed ids.  Entries with equal keys come out in no
/// particular order.  push and pop cost O(log n).
class MinHeap {
 public:
  void clear() { v_.clear(); }
  bool empty() const { return v_.empty(); }
  const Keyed& top() const { return v_.front(); }
  void push(float key, std::int32_t id) {
    v_.push_back({key, id});
    std::push_heap(v_.begin(), v_.end(), Above{});
  }
  void pop() {
    std::pop_heap(v_.begin(), v_.end(), Above{});
    v_.pop_back();
  }

 private:
  struct Above {
    bool operator()(const Keyed& a, const Keyed& b) const { return a.key > b.key; }
  };
  std::vector<Keyed> v_;
};

/// Pairing min-heaps of cells keyed by their heights, all in one node pool.
/// A heap is named by its root node (kNone: empty).  push and meld cost
/// O(1), pop amortised O(log n); popped nodes are reused.
class RimHeaps {
 public:
  static constexpr std::int32_t kNone = -1;

  float key(std::int32_t root) const { return nodes_[root].key; }
  std::int32_t cell(std::int32_t root) const { return nodes_[root].cell; }

  /// Adds `cell` keyed by `key` to the heap `root`; returns the new root.
  std::int32_t push(std::int32_t root, float key, std::int32_t cell) {
    std::int32_t n;
    if (free_ != kNone) {
      n = free_;
      free_ = nodes_[n].next;
      nodes_[n] = {key, cell, kNone, kNone};
    } else {
      n = static_cast<std::int32_t>(nodes_.size());
      nodes_.push_back({key, cell, kNone, kNone});
    }
    return meld(root, n);
  }

  /// One heap of the two; returns its root.
  std::int32_t meld(std::int32_t a, std::int32_t b) {
    if (a == kNone) return b;
    if (b == kNone) return a;
    if (nodes_[b].key < nodes_[a].key) std::swap(a, b);
    nodes_[b].next = nodes_[a].child;
    nodes_[a].child = b;
    return a;
  }

  /// Removes the root; returns the new root.  Two-pass pairing.
  std::int32_t pop(std::int32_t root) {
    std::int32_t child = nodes_[root].child;
    nodes_[root].next = free_;
    free_ = root;
    pairs_.clear();
    while (child != kNone) {
      std::int32_t a = child;
      std::int32_t b = nodes_[a].next;
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
    std::int32_t result = kNone;
    for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) result = meld(result, *it);
    return result;
  }

 private:
  struct Node {
    float key;
    std::int32_t cell;
    std::int32_t child;
    std::int32_t next;
  };
  std::vector<Node> nodes_;
  std::vector<std::int32_t> pairs_;
  std::int32_t free_ = kNone;
};

}  // namespace rn::bedcarve
