#include "id_index.hpp"

#include <bit>
#include <cstddef>
#include <limits>

namespace rn::nesting {
namespace {

// Open-addressing set of 32-bit ids with linear probing.  Empty slots hold
// kEmpty; an id equal to kEmpty is kept aside in its own slot index.
class IdTable {
 public:
  static constexpr std::int32_t kEmpty = std::numeric_limits<std::int32_t>::min();
  static constexpr std::size_t kAbsent = static_cast<std::size_t>(-1);

  explicit IdTable(std::size_t count) {
    // At most a quarter full: a missing id (the common case in the scan of a
    // national parent file) ends its probe after about one slot.
    const std::size_t capacity = std::bit_ceil(count * 4 + 16);
    shift_ = 64 - std::countr_zero(capacity);
    mask_ = capacity - 1;
    keys_.assign(capacity, kEmpty);
  }

  std::size_t slot_count() const { return keys_.size() + 1; }

  // Slot of `id`, inserting it when new.
  std::size_t insert(std::int32_t id) {
    if (id == kEmpty) return keys_.size();
    std::size_t h = home(id);
    while (keys_[h] != kEmpty && keys_[h] != id) h = (h + 1) & mask_;
    keys_[h] = id;
    return h;
  }

  // Slot of `id`, or kAbsent.
  std::size_t find(std::int32_t id) const {
    if (id == kEmpty) return has_empty_id_ ? keys_.size() : kAbsent;
    std::size_t h = home(id);
    for (;;) {
      const std::int32_t k = keys_[h];
      if (k == id) return h;
      if (k == kEmpty) return kAbsent;
      h = (h + 1) & mask_;
    }
  }

  void note_empty_id() { has_empty_id_ = true; }

 private:
  std::size_t home(std::int32_t id) const {
    // Fibonacci hashing: the high bits of the product spread ids that differ
    // only in their low digits (consecutive link numbers) over the table.
    return static_cast<std::size_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(id)) * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  std::vector<std::int32_t> keys_;
  std::size_t mask_ = 0;
  int shift_ = 0;
  bool has_empty_id_ = false;
};

}  // namespace

std::vector<std::int32_t> first_positions(std::span<const std::int32_t> wanted,
                                          std::span<const std::int32_t> ids) {
  IdTable table(wanted.size());
  std::vector<std::size_t> slot_of(wanted.size());
  std::size_t distinct = 0;
  std::vector<std::int32_t> found(table.slot_count(), -1);
  std::vector<bool> seen(table.slot_count(), false);
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (wanted[i] == IdTable::kEmpty) table.note_empty_id();
    const std::size_t s = table.insert(wanted[i]);
    slot_of[i] = s;
    if (!seen[s]) {
      seen[s] = true;
      ++distinct;
    }
  }

  // One pass in ascending position: the first hit of an id is its first
  // position; later duplicates leave it alone.
  std::size_t remaining = distinct;
  for (std::size_t j = 0; j < ids.size() && remaining > 0; ++j) {
    const std::size_t s = table.find(ids[j]);
    if (s != IdTable::kAbsent && found[s] < 0) {
      found[s] = static_cast<std::int32_t>(j + 1);
      --remaining;
    }
  }

  std::vector<std::int32_t> positions(wanted.size());
  for (std::size_t i = 0; i < wanted.size(); ++i) positions[i] = found[slot_of[i]];
  return positions;
}

}  // namespace rn::nesting
