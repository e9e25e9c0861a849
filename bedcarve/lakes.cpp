#include "lakes.hpp"

#include <utility>

namespace rn::bedcarve {

std::int32_t Lakes::create(float level, std::int32_t seed, std::int32_t cls) {
  const auto l = static_cast<std::int32_t>(lakes_.size());
  lakes_.push_back({l, 0, RimHeaps::kNone, -1, -1, cls, 0, -1, seed, level, LakeState::pit});
  return l;
}

void Lakes::rim_push(std::int32_t l, std::int32_t n, float key) {
  const std::int32_t o = rim_owner_[static_cast<std::size_t>(n)];
  if (o >= 0 && find(o) == l) return;
  rim_owner_[static_cast<std::size_t>(n)] = l;
  (*this)[l].rim = rim_.push((*this)[l].rim, key, n);
}

void Lakes::add_outlet(std::int32_t l, std::int32_t y) {
  const auto e = static_cast<std::int32_t>(out_cell_.size());
  out_cell_.push_back(y);
  out_next_.push_back(-1);
  Lake& lake = (*this)[l];
  if (lake.out_tail < 0) {
    lake.out_head = e;
  } else {
    out_next_[lake.out_tail] = e;
  }
  lake.out_tail = e;
}

std::int32_t Lakes::unite(std::int32_t a, std::int32_t b) {
  if ((*this)[a].size < (*this)[b].size) std::swap(a, b);
  Lake& big = (*this)[a];
  Lake& small = (*this)[b];
  small.parent = a;
  big.size += small.size;
  big.rim = rim_.meld(big.rim, small.rim);
  small.rim = RimHeaps::kNone;
  if (small.out_head >= 0) {
    if (big.out_tail < 0) {
      big.out_head = small.out_head;
    } else {
      out_next_[big.out_tail] = small.out_head;
    }
    big.out_tail = small.out_tail;
  }
  return a;
}

}  // namespace rn::bedcarve
