// What a fill does to the lakes it raises: a lake whose rim the fill height
// reaches takes in the cells and lakes at that level, then is a pit again,
// has spilled or drains.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "fill_engine.hpp"

namespace rn::bedcarve::detail {

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::flood_candidate(Id p, Cell n, int d, float v) {
  std::uint8_t* const state = state_.data();
  if (state[n] & kOnRim) {
    // Does a neighbour of n other than c = n - off_[d] lie in p?  The ones
    // next to c as well come first: they are the likeliest.  (Most that do
    // carry p's own id, which spares the find.)
    const Id* const tag = tag_.data();
    auto in_p = [&](Cell y) {
      if (!(state[y] & kLake)) return false;
      const Id t = tag[y];
      return t == p || lakes_.find(t) == p;
    };
    if (!(state[n] & kRing)) {
      for (int k = 0; k < 7; ++k) {
        if (in_p(n + off_[look_[d][k]])) return;
      }
    } else {
      const Cell c = n - off_[d];
      bool waits = false;
      for_neighbours(n, [&](Cell y) { waits = waits || (y != c && in_p(y)); });
      if (waits) return;
    }
  }
  state[n] |= kOnRim;
  lakes_.rim_push(p, n, v);
}

template <typename Cell, typename Id>
Id FillEngine<Cell, Id>::merge_lakes(Id a, Id b, float level, Cell c) {
  if (lakes_[b].rim_dropped) rebuild_rim(b, c);
  const float level_b = level_of(b);
  if (bits(level_b) != bits(level)) keep_raised_bits(b, c, level_b);
  // The merged lake rises with `a`'s raise group; `b`'s group (same
  // level) rises with it anyway whenever it rises again.
  const Id group_a = lakes_[a].group;
  const Id class_a = lakes_[a].cls;
  const Id big = lakes_.unite(a, b);
  Lake<Cell, Id>& lake = lakes_[big];
  lake.level = level;
  lake.group = group_a;
  lake.cls = class_a;
  lake.state = LakeState::pit;
  return big;
}

template <typename Cell, typename Id>
template <typename Inside, typename Outside>
void FillEngine<Cell, Id>::walk_lake(Id b, Cell start, Inside&& inside, Outside&& outside) {
  std::uint8_t* const state = state_.data();
  const Id* const tag = tag_.data();
  scratch_.clear();
  scratch_.push_back(start);
  state[start] |= kVisitMark;
  for (std::size_t q = 0; q < scratch_.size(); ++q) {
    const Cell x = scratch_[q];
    inside(x);
    for (int d = 0; d < 8; ++d) {  // a lake cell is never on the ring
      const Cell n = x + off_[d];
      const std::uint8_t sn = state[n];
      if (sn & kVisitMark) continue;
      if ((sn & kLake) && (tag[n] == b || lakes_.find(tag[n]) == b)) {
        state[n] = static_cast<std::uint8_t>(sn | kVisitMark);
        scratch_.push_back(n);
      } else {
        outside(n);
      }
    }
  }
  for (Cell x : scratch_) state[x] &= static_cast<std::uint8_t>(~kVisitMark);
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::rebuild_rim(Id b, Cell c) {
  const float level = level_of(b);
  walk_lake(b, c, [](Cell) {}, [&](Cell n) {
    const float v = cell_height(n);
    if (v > level) rim_candidate(b, n, v);
  });
  clear_rim_marks();
  lakes_[b].rim_dropped = false;
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::keep_raised_bits(Id b, Cell c, float level_b) {
  walk_lake(b, c, [&](Cell x) {
    if (h_[x] < level_b) h_[x] = level_b;
  }, [](Cell) {});
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::flood(Id l, float level) {
  Id p = lakes_.find(l);
  {
    const Lake<Cell, Id>& lake = lakes_[p];
    if (lake.state != LakeState::pit || lake.group < 0 || !lakes_.has_rim(p) ||
        !(lakes_.rim_key(p) == level)) {
      return;
    }
  }
  met_class_.push_back({p, 0, lakes_[p].cls});
  work_.clear();
  // Plain pointers and local offsets: the state bytes written here could
  // otherwise alias every member the loop reads.
  std::uint8_t* const state = state_.data();
  Id* const tag = tag_.data();
  const float* const h = h_.data();
  Cell off[8];
  std::copy(off_, off_ + 8, off);
  Cell joined = 0;  // plain cells taken in since p's size was last brought up to date
  for (;;) {
    if (MinHeap<Cell>* rim = lakes_.rim_heap(p)) {
      while (!rim->empty() && rim->top().key == level) {
        const Cell r = rim->top().id;
        state[r] &= static_cast<std::uint8_t>(~kOnRim);
        work_.push_back(r);
        rim->pop();
      }
    }
    if (work_.empty()) break;
    const Cell c = work_.back();
    work_.pop_back();
    const std::uint8_t sc = state[c];
    const Id q = (sc & kLake) ? lakes_.find(tag[c]) : -1;
    if (q == p) continue;
    if (sc & kDrain) {
      met_drain_.push_back({p, 0, c});
      continue;
    }
    if (q >= 0) {
      met_class_.push_back({p, 0, lakes_[q].cls});
      lakes_[p].size += joined;
      joined = 0;
      p = merge_lakes(p, q, level, c);
      continue;
    }
    // A plain cell at the level.  Its class from now on is the lake's
    // (its own pits are among the lake's: its lower neighbours become
    // the lake's outlets).
    tag[c] = p;
    state[c] = static_cast<std::uint8_t>(sc | kLake);
    ++joined;
    for (int d = 0; d < 8; ++d) {
      const Cell n = c + off[d];
      float v = h[n];
      const std::uint8_t sn = state[n];
      if (sn & kLake) {
        const Id t = tag[n];
        if (t == p) continue;  // already in: at the level
        const Id r = lakes_.find(t);
        if (r == p) continue;
        const float lake_level = level_of(r);
        if (v < lake_level) v = lake_level;
      }
      if (v > level) {
        flood_candidate(p, n, d, v);
      } else if (v == level) {
        work_.push_back(n);
      } else if (v < level) {
        if (sn & kDrain) {
          met_drain_.push_back({p, 0, n});
        } else {
          lakes_.add_outlet(p, n);
          met_outlet_.push_back({p, 0, n});
        }
      }
    }
  }
  lakes_[p].size += joined;
}

template <typename Cell, typename Id>
void FillEngine<Cell, Id>::settle(float level) {
  // Groups the notes by lake root, each lake's in the order they were
  // made (mostly one lake floods: then nothing moves).
  auto by_lake = [this](std::vector<Met>& v) {
    bool sorted = true;
    for (std::size_t k = 0; k < v.size(); ++k) {
      v[k].lake = lakes_.find(v[k].lake);
      v[k].seq = static_cast<std::uint32_t>(k);
      sorted = sorted && (k == 0 || !(v[k].lake < v[k - 1].lake));
    }
    if (sorted) return;
    std::sort(v.begin(), v.end(), [](const Met& a, const Met& b) {
      return a.lake < b.lake || (a.lake == b.lake && a.seq < b.seq);
    });
  };
  by_lake(met_class_);
  by_lake(met_outlet_);
  by_lake(met_drain_);
  // The entries of lake p in a sorted list: [first, last).
  auto range = [](std::vector<Met>& v, Id p) {
    auto first = std::lower_bound(v.begin(), v.end(), p,
                                  [](const Met& m, Id l) { return m.lake < l; });
    auto last = first;
    while (last != v.end() && last->lake == p) ++last;
    return std::pair{first, last};
  };
  for (auto it = met_class_.begin(); it != met_class_.end();) {
    const Id p = it->lake;
    Id cls = classes_.find(static_cast<Id>(it->id));
    for (++it; it != met_class_.end() && it->lake == p; ++it) {
      cls = classes_.join(cls, static_cast<Id>(it->id));
    }
    cls = classes_.find(cls);
    lakes_[p].cls = cls;
    const auto [drain_first, drain_last] = range(met_drain_, p);
    if (drain_first != drain_last) {
      Lake<Cell, Id>& lake = lakes_[p];
      lake.state = LakeState::drained;
      lake.level = level;
      lake.group = -1;
      lakes_.release_rim(p);
      lakes_.release_outlets(p);
      classes_.settle_as(cls, ClassKind::drained);
      for (auto m = drain_first; m != drain_last; ++m) queue_.push(m->id);
      spread_drainage();
      continue;
    }
    if (!lakes_.has_outlet(p, level, [this](Cell c) { return value(c); })) {
      lakes_[p].state = LakeState::pit;
      classes_.settle_as(cls, ClassKind::pit);
      classes_[cls].lake = p;
      if (lakes_.has_rim(p)) pit_heap_.push(lakes_.rim_key(p), p);
      continue;
    }
    // Spilled: the lake leads to the classes below its outlets.
    {
      Lake<Cell, Id>& lake = lakes_[p];
      lake.state = LakeState::spilled;
      lake.level = level;
      lake.group = -1;
      // A small spilled lake keeps no rim: should a flood reach it, its
      // rim is found again from its few cells (rebuild_rim).
      if (lake.size <= kSmallLake) lakes_.drop_rim(p);
    }
    const auto [out_first, out_last] = range(met_outlet_, p);
    for (auto m = out_first; m != out_last; ++m) {
      if (tag_[m->id] == kUnlabelled) explore(m->id);
    }
    if (classes_[cls].kind != ClassKind::junction) {
      classes_[cls].kind = ClassKind::junction;
      classes_.drop_succ(cls);
    }
    for (auto m = out_first; m != out_last; ++m) {
      const Id below = class_of(m->id);
      classes_.add_succ(cls, below);
    }
    classes_.unmark_walked(cls);
    collect(cls, -1);
  }
}

template void FillEngine<std::int32_t, std::int32_t>::flood_candidate(std::int32_t, std::int32_t, int, float);
template void FillEngine<std::int64_t, std::int32_t>::flood_candidate(std::int32_t, std::int64_t, int, float);
template std::int32_t FillEngine<std::int32_t, std::int32_t>::merge_lakes(std::int32_t, std::int32_t, float, std::int32_t);
template std::int32_t FillEngine<std::int64_t, std::int32_t>::merge_lakes(std::int32_t, std::int32_t, float, std::int64_t);
template void FillEngine<std::int32_t, std::int32_t>::rebuild_rim(std::int32_t, std::int32_t);
template void FillEngine<std::int64_t, std::int32_t>::rebuild_rim(std::int32_t, std::int64_t);
template void FillEngine<std::int32_t, std::int32_t>::keep_raised_bits(std::int32_t, std::int32_t, float);
template void FillEngine<std::int64_t, std::int32_t>::keep_raised_bits(std::int32_t, std::int64_t, float);
template void FillEngine<std::int32_t, std::int32_t>::flood(std::int32_t, float);
template void FillEngine<std::int64_t, std::int32_t>::flood(std::int32_t, float);
template void FillEngine<std::int32_t, std::int32_t>::settle(float);
template void FillEngine<std::int64_t, std::int32_t>::settle(float);

}  // namespace rn::bedcarve::detail
