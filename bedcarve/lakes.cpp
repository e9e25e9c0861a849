#include "lakes.hpp"

#include <limits>
#include <stdexcept>
#include <utility>

namespace rn::bedcarve {

template <typename Cell, typename Id>
Id Lakes<Cell, Id>::create(float level, Id cls) {
  if (lakes_.size() >= static_cast<std::size_t>(std::numeric_limits<Id>::max() - 2)) {
    throw std::length_error("too many lakes to number");
  }
  const auto l = static_cast<Id>(lakes_.size());
  lakes_.push_back({l, cls, -1, -1, level, 0, -1, LakeState::pit, false});
  return l;
}

template <typename Cell, typename Id>
void Lakes<Cell, Id>::rim_push(Id l, Cell n, float key) {
  Lake<Cell, Id>& lake = (*this)[l];
  if (lake.rim < 0) {
    if (free_rims_.empty()) {
      lake.rim = static_cast<Id>(rims_.size());
      rims_.emplace_back();
    } else {
      lake.rim = free_rims_.back();
      free_rims_.pop_back();
    }
  }
  lake.rim_dropped = false;
  rims_[static_cast<std::size_t>(lake.rim)].push(key, n);
}

template <typename Cell, typename Id>
void Lakes<Cell, Id>::release_rim(Id l) {
  Lake<Cell, Id>& lake = (*this)[l];
  if (lake.rim < 0) return;
  rims_[static_cast<std::size_t>(lake.rim)].release();
  free_rims_.push_back(lake.rim);
  lake.rim = -1;
}

template <typename Cell, typename Id>
void Lakes<Cell, Id>::add_outlet(Id l, Cell y) {
  Cell e = free_outlet_;
  if (e >= 0) {
    free_outlet_ = out_next_[e];
    out_cell_[e] = y;
    out_next_[e] = -1;
  } else {
    e = static_cast<Cell>(out_cell_.size());
    out_cell_.push_back(y);
    out_next_.push_back(-1);
  }
  // The lake names the last entry of a ring: the new entry goes after it.
  Lake<Cell, Id>& lake = (*this)[l];
  if (lake.outlets < 0) {
    out_next_[e] = e;
  } else {
    out_next_[e] = out_next_[lake.outlets];
    out_next_[lake.outlets] = e;
  }
  lake.outlets = e;
}

template <typename Cell, typename Id>
void Lakes<Cell, Id>::release_outlets(Id l) {
  Lake<Cell, Id>& lake = (*this)[l];
  if (lake.outlets < 0) return;
  Cell e = out_next_[lake.outlets];
  out_next_[lake.outlets] = -1;  // opens the ring
  while (e >= 0) {
    const Cell next = out_next_[e];
    free_outlet(e);
    e = next;
  }
  lake.outlets = -1;
}

template <typename Cell, typename Id>
Id Lakes<Cell, Id>::unite(Id a, Id b) {
  if ((*this)[a].size < (*this)[b].size) std::swap(a, b);
  Lake<Cell, Id>& big = (*this)[a];
  Lake<Cell, Id>& small = (*this)[b];
  small.parent = a;
  big.size += small.size;
  if (small.rim >= 0) {
    if (big.rim < 0) {
      big.rim = small.rim;
      small.rim = -1;
    } else {
      rims_[static_cast<std::size_t>(big.rim)].absorb(rims_[static_cast<std::size_t>(small.rim)]);
      release_rim(b);
    }
  }
  big.rim_dropped = false;
  if (small.outlets >= 0) {  // big's ring, then small's
    if (big.outlets >= 0) std::swap(out_next_[big.outlets], out_next_[small.outlets]);
    big.outlets = small.outlets;
    small.outlets = -1;
  }
  return a;
}

template class Lakes<std::int32_t, std::int32_t>;
template class Lakes<std::int64_t, std::int32_t>;

}  // namespace rn::bedcarve
