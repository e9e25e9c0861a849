// The sweep over the start cells, and the spread of drainage from the ring,
// the water cells and every lake that comes to drain.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "fill_engine.hpp"

namespace rn::bedcarve::detail {

template <typename Cell, typename Id>
FillResult FillEngine<Cell, Id>::run(const SweepProgress& progress) {
  FillResult result;
  for (Cell i0 = 0; i0 < ix_ && result.stop == FillStop::none; ++i0) {
    for (Cell j0 = 0; j0 < jx_; ++j0) {
      const Cell s = i0 + j0 * ix_;
      if (state_[s] & kDrain) continue;
      result.stop = process_start(s);
      if (result.stop != FillStop::none) break;
    }
    if (progress) progress(static_cast<std::size_t>(i0) + 1, static_cast<std::size_t>(ix_));
  }
  if (result.stop == FillStop::none) {
    end_pass();
    // Lake cells take their lake's level where they lie below it (see
    // cell_height); neighbouring cells mostly carry the same lake id.
    Id last = kUnlabelled;
    float level = 0.0f;
    for (Cell c = 0; c < n_; ++c) {
      if (!(state_[c] & kLake)) continue;
      if (tag_[c] != last) {
        last = tag_[c];
        level = level_of(lakes_.find(last));
      }
      if (h_[c] < level) h_[c] = level;
    }
  }
  counts_.lakes = lakes_.count();
  result.counts = counts_;
  return result;
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::init_drainage(const CellBits& water) {
  // The ring's rows and columns, then the water cells word by word: only
  // the sources are visited, not every cell (the cells that drain do not
  // depend on the order of the sources).
  auto for_ring = [this](auto&& f) {
    for (Cell i = 0; i < ix_; ++i) {
      f(i);
      if (jx_ > 1) f(i + (jx_ - 1) * ix_);
    }
    for (Cell j = 1; j + 1 < jx_; ++j) {
      f(j * ix_);
      if (ix_ > 1) f(j * ix_ + ix_ - 1);
    }
  };
  for_ring([this](Cell c) { state_[c] |= kRing; });
  auto source = [this](Cell c) {
    if (state_[c] & kDrain) return;
    state_[c] |= kDrain;
    queue_.push(c);
    spread_drainage();
  };
  for_ring(source);
  water.for_each_set([&](std::size_t c) { source(static_cast<Cell>(c)); });
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::spread_drainage() {
  // Plain pointers and a local copy of the offsets: the state bytes it
  // writes could otherwise alias every member the loop reads.
  std::uint8_t* const state = state_.data();
  const float* const h = h_.data();
  Cell off[8];
  std::copy(off_, off_ + 8, off);
  auto visit = [&](Cell u, float hv) {
    const std::uint8_t su = state[u];
    if (su & kDrain) return;
    if (((su & kLake) ? value(u) : h[u]) >= hv) {
      state[u] = static_cast<std::uint8_t>(su | kDrain);
      queue_.push(u);
    }
  };
  while (!queue_.empty()) {
    const Cell v = queue_.pop();
    const std::uint8_t sv = state[v];
    const float hv = (sv & kLake) ? value(v) : h[v];
    if (!(sv & kRing)) {
      for (int k = 0; k < 8; ++k) visit(v + off[k], hv);
    } else {
      for_neighbours(v, [&](Cell u) { visit(u, hv); });
    }
  }
}

template FillResult FillEngine<std::int32_t, std::int32_t>::run(const SweepProgress&);
template FillResult FillEngine<std::int64_t, std::int32_t>::run(const SweepProgress&);
template void FillEngine<std::int32_t, std::int32_t>::init_drainage(const CellBits&);
template void FillEngine<std::int64_t, std::int32_t>::init_drainage(const CellBits&);
template void FillEngine<std::int32_t, std::int32_t>::spread_drainage();
template void FillEngine<std::int64_t, std::int32_t>::spread_drainage();

}  // namespace rn::bedcarve::detail
