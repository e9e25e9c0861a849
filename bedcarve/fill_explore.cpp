// Labelling: every cell that a start cell reaches gets the drainage class of
// the pits below it, and a flat region without a lower neighbour becomes a
// new lake.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "fill_engine.hpp"

namespace rn::bedcarve::detail {

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::explore(Cell start) {
  ++explore_id_;
  frames_.clear();
  flat_.clear();
  low_.clear();
  open_frame(start);
  while (!frames_.empty()) {
    Frame& f = frames_.back();
    if (f.next < f.low_end) {
      const Cell n = low_[static_cast<std::size_t>(f.next++)];
      if (tag_[n] == kUnlabelled) open_frame(n);
      continue;
    }
    close_frame(f);
    flat_.resize(static_cast<std::size_t>(f.flat_begin));
    low_.resize(static_cast<std::size_t>(f.low_begin));
    frames_.pop_back();
  }
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::open_frame(Cell c) {
  const float level = h_[c];
  Frame f{static_cast<Cell>(flat_.size()), static_cast<Cell>(low_.size()), 0, 0, level};
  tag_[c] = kInProgress;
  flat_.push_back(c);
  for (std::size_t k = static_cast<std::size_t>(f.flat_begin); k < flat_.size(); ++k) {
    const Cell x = flat_[k];
    for (int d = 0; d < 8; ++d) {
      const Cell n = x + off_[d];
      if (state_[n] & kDrain) continue;  // cannot border a cell that does not drain
      const float v = value(n);
      if (v == level) {
        if (tag_[n] == kUnlabelled) {
          tag_[n] = kInProgress;
          flat_.push_back(n);
        }
      } else if (v < level) {
        low_.push_back(n);
      }
    }
  }
  f.low_end = static_cast<Cell>(low_.size());
  f.next = f.low_begin;
  frames_.push_back(f);
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::close_frame(const Frame& f) {
  const auto fb = static_cast<std::size_t>(f.flat_begin);
  if (f.low_begin == f.low_end) {
    // A natural pit: a new lake.
    const Id cls = classes_.create(ClassKind::pit, -1);
    const Id l = lakes_.create(f.level, cls);
    classes_[cls].lake = l;
    for (std::size_t k = fb; k < flat_.size(); ++k) {
      tag_[flat_[k]] = l;
      state_[flat_[k]] |= kLake;
    }
    lakes_[l].size = static_cast<Cell>(flat_.size() - fb);
    for (std::size_t k = fb; k < flat_.size(); ++k) {
      const Cell x = flat_[k];
      for (int d = 0; d < 8; ++d) {
        const Cell n = x + off_[d];
        const float v = cell_height(n);
        if (v > f.level) rim_candidate(l, n, v);
      }
    }
    clear_rim_marks();
    return;
  }
  // Below it: one class, or a junction over several.
  low_labels_.clear();
  Id first = kUnlabelled;
  bool one = true;
  for (Cell k = f.low_begin; k < f.low_end; ++k) {
    const Id x = classes_.find(class_of(low_[static_cast<std::size_t>(k)]));
    if (first == kUnlabelled) first = x;
    one = one && x == first;
    low_labels_.push_back(x);
  }
  Id cls = first;
  if (!one) cls = junction_below();
  for (std::size_t k = fb; k < flat_.size(); ++k) tag_[flat_[k]] = cls;
}

template <typename Cell, typename Id>
Id FillEngine<Cell, Id>::junction_below() {
  std::sort(low_labels_.begin(), low_labels_.end());
  low_labels_.erase(std::unique(low_labels_.begin(), low_labels_.end()), low_labels_.end());
  std::uint64_t key = low_labels_.size();
  for (Id y : low_labels_) key = (key ^ static_cast<std::uint64_t>(y)) * 0x9E3779B97F4A7C15ULL;
  Known& known = known_[(key >> 56) & (kKnown - 1)];
  if (known.explore == explore_id_ && known.count == low_labels_.size() &&
      std::equal(low_labels_.begin(), low_labels_.end(), known.below)) {
    return known.cls;
  }
  classes_.successor_list(low_labels_, -1, succ_scratch_);
  const Id cls =
      succ_scratch_.size() == 1 ? succ_scratch_[0] : classes_.shared_junction(succ_scratch_);
  if (low_labels_.size() <= 8) {
    known.explore = explore_id_;
    known.count = low_labels_.size();
    std::copy(low_labels_.begin(), low_labels_.end(), known.below);
    known.cls = cls;
  }
  return cls;
}

template void FillEngine<std::int32_t, std::int32_t>::explore(std::int32_t);
template void FillEngine<std::int64_t, std::int32_t>::explore(std::int64_t);
template void FillEngine<std::int32_t, std::int32_t>::open_frame(std::int32_t);
template void FillEngine<std::int64_t, std::int32_t>::open_frame(std::int64_t);
template void FillEngine<std::int32_t, std::int32_t>::close_frame(const FillEngine<std::int32_t, std::int32_t>::Frame&);
template void FillEngine<std::int64_t, std::int32_t>::close_frame(const FillEngine<std::int64_t, std::int32_t>::Frame&);
template std::int32_t FillEngine<std::int32_t, std::int32_t>::junction_below();
template std::int32_t FillEngine<std::int64_t, std::int32_t>::junction_below();

}  // namespace rn::bedcarve::detail
