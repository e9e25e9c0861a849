// Short integer lists kept in blocks of 2^k entries, for the successor
// lists of the drainage classes: a list costs a 12-byte head and its block
// (a list of n entries takes less than 2n + 1 slots), and a block given back
// is reused by the next list of its size.  A general vector per list costs
// three words and an allocation with its header, which for lists of a few
// entries is more than the entries themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace rn::bedcarve {

/// Contract: lists are named by dense ids that `create` hands out and
/// `destroy` takes back for reuse.  A span from `get` holds until the list
/// it names changes (blocks never move, but a list that grows takes a new
/// block).  Every operation costs O(1) besides copying the entries it
/// moves.
template <typename T>
class BlockLists {
 public:
  std::int32_t create() {
    if (!free_heads_.empty()) {
      const std::int32_t l = free_heads_.back();
      free_heads_.pop_back();
      return l;
    }
    if (heads_.size() >= static_cast<std::size_t>(INT32_MAX)) {
      throw std::length_error("too many drainage classes to number");
    }
    heads_.push_back({0, 0, kNone});
    return static_cast<std::int32_t>(heads_.size() - 1);
  }
  void destroy(std::int32_t l) {
    Head& h = heads_[static_cast<std::size_t>(l)];
    if (h.size_class != kNone) release(h);
    free_heads_.push_back(l);
  }

  std::size_t size(std::int32_t l) const { return heads_[static_cast<std::size_t>(l)].size; }
  std::span<T> get(std::int32_t l) {
    Head& h = heads_[static_cast<std::size_t>(l)];
    if (h.size == 0) return {};
    return {block(h.size_class, h.block), h.size};
  }

  void push_back(std::int32_t l, T v) {
    Head& h = heads_[static_cast<std::size_t>(l)];
    if (h.size_class == kNone || h.size == (std::uint32_t{1} << h.size_class)) {
      regrow(h, h.size + 1);
    }
    block(h.size_class, h.block)[h.size++] = v;
  }

  /// Makes list `l` hold `v` (which may be a span of `l` itself).
  void assign(std::int32_t l, std::span<const T> v) {
    Head& h = heads_[static_cast<std::size_t>(l)];
    if (v.empty()) {
      if (h.size_class != kNone) release(h);
      h.size = 0;
      return;
    }
    const std::uint8_t want = class_for(v.size());
    if (h.size_class != want) {
      Head fresh{allocate(want), 0, want};
      T* to = block(want, fresh.block);
      for (std::size_t k = 0; k < v.size(); ++k) to[k] = v[k];
      if (h.size_class != kNone) release(h);
      h = fresh;
    } else {
      T* to = block(want, h.block);
      for (std::size_t k = 0; k < v.size(); ++k) to[k] = v[k];
    }
    h.size = static_cast<std::uint32_t>(v.size());
  }

 private:
  static constexpr std::uint8_t kNone = 0xFF;
  static constexpr unsigned kChunkShift = 14;  ///< entries a chunk holds at least: 2^14

  struct Head {
    std::uint32_t block;     ///< the block's number within its size class
    std::uint32_t size;      ///< entries in use
    std::uint8_t size_class;  ///< the block holds 2^size_class entries, kNone: no block
  };

  /// Blocks of one size, in chunks that never move.
  struct SizeClass {
    std::vector<std::unique_ptr<T[]>> chunks;
    std::vector<std::uint32_t> free;
    std::uint32_t count = 0;
  };

  static std::uint8_t class_for(std::size_t n) {
    std::uint8_t k = 0;
    while ((std::size_t{1} << k) < n) ++k;
    return k;
  }
  static unsigned blocks_shift(std::uint8_t k) { return k >= kChunkShift ? 0 : kChunkShift - k; }

  T* block(std::uint8_t k, std::uint32_t b) {
    const unsigned shift = blocks_shift(k);
    SizeClass& c = classes_[k];
    return c.chunks[b >> shift].get() +
           (static_cast<std::size_t>(b & ((1u << shift) - 1)) << k);
  }
  std::uint32_t allocate(std::uint8_t k) {
    if (classes_.size() <= k) classes_.resize(k + 1u);
    SizeClass& c = classes_[k];
    if (!c.free.empty()) {
      const std::uint32_t b = c.free.back();
      c.free.pop_back();
      return b;
    }
    const unsigned shift = blocks_shift(k);
    if ((c.count >> shift) == c.chunks.size()) {
      // Not zeroed: a block's entries are written before they are read.
      c.chunks.push_back(std::make_unique_for_overwrite<T[]>(std::size_t{1} << (k + shift)));
    }
    return c.count++;
  }
  void release(Head& h) {
    classes_[h.size_class].free.push_back(h.block);
    h.size_class = kNone;
    h.size = 0;
  }
  /// Moves the entries of `h` into a block for at least `n` entries.
  void regrow(Head& h, std::size_t n) {
    const std::uint8_t want = class_for(n);
    Head fresh{allocate(want), h.size, want};
    if (h.size_class != kNone) {
      const T* from = block(h.size_class, h.block);
      T* to = block(want, fresh.block);
      for (std::uint32_t k = 0; k < h.size; ++k) to[k] = from[k];
      release(h);
    }
    h = fresh;
  }

  std::vector<Head> heads_;
  std::vector<std::int32_t> free_heads_;
  std::vector<SizeClass> classes_;
};

}  // namespace rn::bedcarve
