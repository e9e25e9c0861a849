// The fills of one start cell, and the pass of start cells that share their
// pits.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "fill_engine.hpp"

namespace rn::bedcarve::detail {

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::add_pit(Id l) {
  const Id r = lakes_.find(l);
  Lake<Cell, Id>& lake = lakes_[r];
  if (lake.group >= 0 || lake.state != LakeState::pit) return;  // in the pass already, or no pit
  lake.group = groups_.create(lake.level);
  if (lakes_.has_rim(r)) pit_heap_.push(lakes_.rim_key(r), r);
  pits_.push_back(r);
}

template <typename Cell, typename Id>
bool FillEngine<Cell, Id>::collect(Id x0, Id target) {
  bool met = false;
  walk_.clear();
  walk_.push_back(x0);
  while (!walk_.empty()) {
    const Id x = classes_.find(walk_.back());
    walk_.pop_back();
    met = met || x == target;
    if (classes_.walked(x)) continue;
    classes_.mark_walked(x);
    if (classes_[x].kind == ClassKind::pit) {
      add_pit(classes_[x].lake);
    } else if (classes_[x].kind == ClassKind::junction) {
      classes_.compact(x);
      if (classes_.succ_size(x) == 1) {
        const Id y = classes_.succ(x)[0];
        classes_[x].parent = y;
        classes_.drop_succ(x);
        walk_.push_back(y);
      } else if (classes_.succ_size(x) > 1) {
        for (Id y : classes_.succ(x)) {
          if (!classes_.walked(y) || classes_.find(y) == target) walk_.push_back(y);
        }
      }
    }
  }
  return met;
}

template <typename Cell, typename Id>
bool FillEngine<Cell, Id>::valid_pit_entry(const Keyed<Id>& e) {
  const Id l = e.id;
  const Lake<Cell, Id>& lake = lakes_[l];
  return lakes_.find(l) == l && lake.group >= 0 && lake.state == LakeState::pit &&
         lakes_.has_rim(l) && lakes_.rim_key(l) == e.key;
}

template <typename Cell, typename Id>
FillStop FillEngine<Cell, Id>::process_start(Cell s) {
  if (std::isnan(h_[s])) return FillStop::big_minv;
  if (tag_[s] == kUnlabelled) explore(s);
  begin_start(class_of(s));

  const auto i = static_cast<std::int32_t>(s % ix_ + 1);
  const auto j = static_cast<std::int32_t>(s / ix_ + 1);
  ++counts_.start_cells;
  int k = 0;
  for (; k < kMaxFills; ++k) {
    while (!pit_heap_.empty() && !valid_pit_entry(pit_heap_.top())) pit_heap_.pop();
    float minv = kBigMinv;
    if (!pit_heap_.empty() && pit_heap_.top().key < kBigMinv) minv = pit_heap_.top().key;
    if (minv == kBigMinv) return FillStop::big_minv;
    if (minv == kSmallMinv) return FillStop::small_minv;
    if (mixed_zero_ && minv == 0.0f) minv = first_candidate(s, minv);

    const float before = cell_height(s);
    groups_.raise_below(minv);
    record_({i, j, minv, before, cell_height(s)});
    ++counts_.fills;

    absorb_.clear();
    while (!pit_heap_.empty() && pit_heap_.top().key == minv) {
      if (valid_pit_entry(pit_heap_.top())) absorb_.push_back(pit_heap_.top().id);
      pit_heap_.pop();
    }
    met_class_.clear();
    met_outlet_.clear();
    met_drain_.clear();
    for (Id l : absorb_) flood(l, minv);
    settle(minv);
    if (state_[s] & kDrain) break;
  }
  if (k == kMaxFills) ++counts_.capped;
  return FillStop::none;
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::begin_start(Id c) {
  const Id x = classes_.find(c);
  if (pass_root_ >= 0) {
    const Id r = classes_.find(pass_root_);
    if (x == r || collect(x, r)) {
      pass_root_ = x;
      return;
    }
    end_pass();
  }
  classes_.forget_walks();
  groups_.clear();
  pit_heap_.clear();
  pits_.clear();
  collect(x, -1);
  pass_root_ = x;
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::end_pass() {
  for (Id l : pits_) {
    const Id r = lakes_.find(l);
    Lake<Cell, Id>& lake = lakes_[r];
    if (lake.group >= 0) {
      lake.level = groups_.level(lake.group);
      lake.group = -1;
    }
  }
  pass_root_ = -1;
}

template <typename Cell, typename Id>
float FillEngine<Cell, Id>::first_candidate(Cell s, float minv) {
  struct Step {
    Cell c;
    int k;
  };
  std::vector<Step> stack;
  scratch_.clear();
  stack.push_back({s, 0});
  state_[s] |= kVisitMark;
  scratch_.push_back(s);
  float found = minv;
  while (!stack.empty()) {
    Step& t = stack.back();
    const float h0 = value(t.c);
    if (t.k < 8) {
      const Cell n = t.c + off_[t.k++];
      if (value(n) <= h0 && !(state_[n] & kVisitMark)) {
        state_[n] |= kVisitMark;
        scratch_.push_back(n);
        stack.push_back({n, 0});
      }
      continue;
    }
    bool done = false;
    for (int d = 0; d < 8 && !done; ++d) {
      const Cell n = t.c + off_[d];
      const float v = value(n);
      if (v > h0 && v == minv) {
        found = cell_height(n);
        done = true;
      }
    }
    if (done) break;
    stack.pop_back();
  }
  for (Cell x : scratch_) state_[x] &= static_cast<std::uint8_t>(~kVisitMark);
  return found;
}

template void FillEngine<std::int32_t, std::int32_t>::add_pit(std::int32_t);
template void FillEngine<std::int64_t, std::int32_t>::add_pit(std::int32_t);
template bool FillEngine<std::int32_t, std::int32_t>::collect(std::int32_t, std::int32_t);
template bool FillEngine<std::int64_t, std::int32_t>::collect(std::int32_t, std::int32_t);
template bool FillEngine<std::int32_t, std::int32_t>::valid_pit_entry(const Keyed<std::int32_t>&);
template bool FillEngine<std::int64_t, std::int32_t>::valid_pit_entry(const Keyed<std::int32_t>&);
template FillStop FillEngine<std::int32_t, std::int32_t>::process_start(std::int32_t);
template FillStop FillEngine<std::int64_t, std::int32_t>::process_start(std::int64_t);
template void FillEngine<std::int32_t, std::int32_t>::begin_start(std::int32_t);
template void FillEngine<std::int64_t, std::int32_t>::begin_start(std::int32_t);
template void FillEngine<std::int32_t, std::int32_t>::end_pass();
template void FillEngine<std::int64_t, std::int32_t>::end_pass();
template float FillEngine<std::int32_t, std::int32_t>::first_candidate(std::int32_t, float);
template float FillEngine<std::int64_t, std::int32_t>::first_candidate(std::int64_t, float);

}  // namespace rn::bedcarve::detail
