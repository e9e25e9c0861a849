#include "id_lookup.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <limits>
#include <span>

namespace rn {
namespace {

// Set of the wanted ids: an open-addressing hash table with linear probing,
// holding beside each id the first position found so far, and in front of
// it a bit filter that rejects almost every id of the parent file that is
// not wanted without touching the table.  Both are indexed by the high bits of one
// Fibonacci hash, which spreads ids that differ only in their low digits
// (consecutive link numbers) evenly.
class IdTable {
 public:
  static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

  explicit IdTable(std::size_t count) {
    // The table at most three quarters full; the filter with 16 bits per
    // slot, so that about 1 in 20 unwanted ids gets past it.
    table_bits_ = std::countr_zero(std::bit_ceil(count + count / 3 + 16));
    filter_bits_ = table_bits_ + 4;
    slots_.assign(std::size_t{1} << table_bits_, Slot{kEmpty, kIdAbsent});
    slots_.push_back(Slot{kEmpty, kIdAbsent});  // the last slot serves the id kEmpty
    filter_.assign((std::size_t{1} << filter_bits_) / 64, 0);
  }

  // Adds `id`; true when it was not there yet.
  bool insert(std::int32_t id) {
    const std::uint64_t f = hash(id) >> (64 - filter_bits_);
    filter_[f / 64] |= std::uint64_t{1} << (f % 64);
    if (id == kEmpty) {
      const bool added = !has_empty_id_;
      has_empty_id_ = true;
      return added;
    }
    const std::size_t mask = empty_slot() - 1;
    std::size_t s = hash(id) >> (64 - table_bits_);
    while (slots_[s].key != kEmpty && slots_[s].key != id) s = (s + 1) & mask;
    const bool added = slots_[s].key == kEmpty;
    slots_[s].key = id;
    return added;
  }

  // Walks `ids` in ascending position and gives every wanted id the first
  // 1-based position at which it occurs; stops once `distinct` ids have one.
  void scan(std::span<const std::int32_t> ids, std::size_t distinct) {
    // Filter a block without branches, then probe the few ids that pass.
    std::uint32_t passed[kBlock];
    std::size_t got = 0;
    for (std::size_t start = 0; start < ids.size() && got < distinct; start += kBlock) {
      const std::size_t m = std::min(kBlock, ids.size() - start);
      std::size_t n = 0;
      for (std::size_t j = 0; j < m; ++j) {
        const std::uint64_t f = hash(ids[start + j]) >> (64 - filter_bits_);
        passed[n] = static_cast<std::uint32_t>(j);
        n += (filter_[f / 64] >> (f % 64)) & 1u;
      }
      for (std::size_t t = 0; t < n; ++t) {
        const std::size_t j = start + passed[t];
        const std::size_t s = find(ids[j]);
        if (s != kNoSlot && slots_[s].first == kIdAbsent) {
          slots_[s].first = static_cast<std::int32_t>(j + 1);
          ++got;
        }
      }
    }
  }

  std::size_t find(std::int32_t id) const {
    if (id == kEmpty) return has_empty_id_ ? empty_slot() : kNoSlot;
    const std::size_t mask = empty_slot() - 1;
    std::size_t s = hash(id) >> (64 - table_bits_);
    for (;;) {
      const std::int32_t k = slots_[s].key;
      if (k == id) return s;
      if (k == kEmpty) return kNoSlot;
      s = (s + 1) & mask;
    }
  }

  // First position of a wanted id, or kIdAbsent.
  std::int32_t position(std::int32_t id) const {
    const std::size_t s = find(id);
    return s == kNoSlot ? kIdAbsent : slots_[s].first;
  }

 private:
  static constexpr std::int32_t kEmpty = std::numeric_limits<std::int32_t>::min();
  static constexpr std::size_t kBlock = 4096;

  // An id and the first position found for it (kIdAbsent: none yet).
  struct Slot {
    std::int32_t key;
    std::int32_t first;
  };

  std::size_t empty_slot() const { return slots_.size() - 1; }

  static std::uint64_t hash(std::int32_t id) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) * 0x9E3779B97F4A7C15ull;
  }

  std::vector<Slot> slots_;
  std::vector<std::uint64_t> filter_;
  int table_bits_ = 0;
  int filter_bits_ = 0;
  bool has_empty_id_ = false;
};

}  // namespace

std::vector<std::int32_t> first_positions(std::span<const std::int32_t> wanted,
                                          std::span<const std::int32_t> ids) {
  IdTable table(wanted.size());
  std::size_t distinct = 0;
  for (const std::int32_t id : wanted) distinct += table.insert(id) ? 1 : 0;
  table.scan(ids, distinct);
  std::vector<std::int32_t> positions(wanted.size());
  for (std::size_t i = 0; i < wanted.size(); ++i) positions[i] = table.position(wanted[i]);
  return positions;
}

}  // namespace rn
