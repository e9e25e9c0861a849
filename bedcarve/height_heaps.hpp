// Heaps keyed by a terrain height, for the depression fill: a binary
// min-heap for the pits of a pass of start cells by their rims, its raise
// groups by their levels and the rim candidates of a small lake by their
// heights, and a radix heap for the rim of a large lake.  `Index` is the
// integer type of the ids (32 bits for grids below 2^31 cells, else 64).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
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
  /// Calls `f(entry)` for every entry, in no particular order.
  template <typename F>
  void for_each(F&& f) const {
    for (const Keyed<Index>& e : v_) f(e);
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

/// Min-heap for keys that never lie below a floor that only rises: a
/// lake's rim, whose candidates all lie above the lake's level.  Keys are
/// ordered by their bits (every non-NaN float; -0 comes before +0, which
/// compare equal).  An entry waits in the bucket of the highest bit in
/// which its key differs from the floor (bucket 0: equal to it); `take`
/// raises the floor to the least key, spreading the lowest non-empty bucket
/// over the buckets below, and takes every entry at it.
/// Contract: `push` only keys at or above the floor, which is the least
/// key last taken (none at first); `take(key)` only for the least key.
/// Only `take` raises the floor (`least` looks without moving it), so for
/// a rim the floor never passes the lake's level, and a candidate pushed
/// between its level and its lowest candidate is in order.
/// Cost: push O(1), least O(1) or a scan of the lowest bucket (then kept),
/// take O(1) an entry plus its moves to lower buckets: at most 32 in all,
/// a few where the keys lie close together, as a rim's do (a binary heap
/// walks the whole height of a large one for each push and pop).
template <typename Index>
class RadixHeap {
 public:
  bool empty() const { return size_ == 0; }
  std::size_t size() const { return size_; }
  void push(float key, Index id) {
    const std::uint32_t o = order(key);
    bucket_[slot(o)].push_back({key, id});
    ++size_;
    if (least_ != kUnknown && o < least_) least_ = o;
  }
  /// The least key (not empty).
  float least() {
    if (least_ == kUnknown) {
      std::size_t i = 0;
      while (bucket_[i].empty()) ++i;
      for (const Keyed<Index>& e : bucket_[i]) least_ = std::min(least_, order(e.key));
    }
    return key_of(least_);
  }
  /// Takes every entry whose key equals `key` (the least key), calling
  /// `f(id)` for each.
  template <typename F>
  void take(float key, F&& f) {
    while (!empty() && least() == key) {
      spread(least_);
      for (const Keyed<Index>& e : bucket_[0]) f(e.id);
      size_ -= bucket_[0].size();
      bucket_[0].clear();
      least_ = kUnknown;
    }
  }
  template <typename F>
  void for_each(F&& f) const {
    for (const std::vector<Keyed<Index>>& b : bucket_) {
      for (const Keyed<Index>& e : b) f(e);
    }
  }

 private:
  static constexpr std::uint32_t kUnknown = UINT32_MAX;  // no float orders there
  static std::uint32_t order(float key) {
    const auto b = std::bit_cast<std::uint32_t>(key);
    return (b & 0x80000000u) ? ~b : (b | 0x80000000u);
  }
  static float key_of(std::uint32_t o) {
    return std::bit_cast<float>((o & 0x80000000u) ? (o & 0x7FFFFFFFu) : ~o);
  }
  std::size_t slot(std::uint32_t o) const {
    return o == floor_ ? 0 : static_cast<std::size_t>(32 - std::countl_zero(o ^ floor_));
  }
  /// Raises the floor to `to`, the least key: the lowest non-empty bucket
  /// holds it, and its entries all go to lower buckets.
  void spread(std::uint32_t to) {
    if (to == floor_) return;
    std::size_t i = 1;
    while (bucket_[i].empty()) ++i;
    floor_ = to;
    std::vector<Keyed<Index>> moving;
    moving.swap(bucket_[i]);
    for (const Keyed<Index>& e : moving) bucket_[slot(order(e.key))].push_back(e);
    moving.clear();
    moving.swap(bucket_[i]);  // the bucket keeps its storage for later
  }
  std::vector<Keyed<Index>> bucket_[33];
  std::uint32_t floor_ = 0;
  std::uint32_t least_ = kUnknown;
  std::size_t size_ = 0;
};

}  // namespace rn::bedcarve
