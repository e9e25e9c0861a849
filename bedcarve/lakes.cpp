#include "lakes.hpp"

#include <utility>

namespace rn::bedcarve {

template <typename Index>
void Lakes<Index>::add_outlet(Index l, Index y) {
  const auto e = static_cast<Index>(out_cell_.size());
  out_cell_.push_back(y);
  out_next_.push_back(-1);
  Lake<Index>& lake = (*this)[l];
  if (lake.out_tail < 0) {
    lake.out_head = e;
  } else {
    out_next_[lake.out_tail] = e;
  }
  lake.out_tail = e;
}

template <typename Index>
Index Lakes<Index>::unite(Index a, Index b) {
  if ((*this)[a].size < (*this)[b].size) std::swap(a, b);
  Lake<Index>& big = (*this)[a];
  Lake<Index>& small = (*this)[b];
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

template class Lakes<std::int32_t>;
template class Lakes<std::int64_t>;

}  // namespace rn::bedcarve
