#include "lakes.hpp"

#include <limits>
#include <stdexcept>
#include <utility>

namespace rn::bedcarve {

template <typename Cell, typename Id>
Id Lakes<Cell, Id>::create(float level, Cell seed, Id cls) {
  if (lakes_.size() >= static_cast<std::size_t>(std::numeric_limits<Id>::max() - 2)) {
    throw std::length_error("too many lakes to number");
  }
  const auto l = static_cast<Id>(lakes_.size());
  lakes_.push_back({l, cls, -1, LakeState::pit, level, 0, 0, -1, -1, seed, {}});
  return l;
}

template <typename Cell, typename Id>
void Lakes<Cell, Id>::add_outlet(Id l, Cell y) {
  const auto e = static_cast<Cell>(out_cell_.size());
  out_cell_.push_back(y);
  out_next_.push_back(-1);
  Lake<Cell, Id>& lake = (*this)[l];
  if (lake.out_tail < 0) {
    lake.out_head = e;
  } else {
    out_next_[lake.out_tail] = e;
  }
  lake.out_tail = e;
}

template <typename Cell, typename Id>
Id Lakes<Cell, Id>::unite(Id a, Id b) {
  if ((*this)[a].size < (*this)[b].size) std::swap(a, b);
  Lake<Cell, Id>& big = (*this)[a];
  Lake<Cell, Id>& small = (*this)[b];
  small.parent = a;
  big.size += small.size;
  big.rim.absorb(small.rim);
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

template class Lakes<std::int32_t, std::int32_t>;
template class Lakes<std::int64_t, std::int32_t>;

}  // namespace rn::bedcarve
