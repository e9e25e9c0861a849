#include "drainage_classes.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace rn::bedcarve {

template <typename Index>
Index DrainageClasses<Index>::create(ClassKind kind, Index lake) {
  if (classes_.size() >= static_cast<std::size_t>(std::numeric_limits<Index>::max() - 2)) {
    throw std::length_error("too many drainage classes to number");
  }
  const auto x = static_cast<Index>(classes_.size());
  classes_.push_back({x, lake, -1, kind, false});
  return x;
}

template <typename Index>
void DrainageClasses<Index>::add_succ(Index x, Index y) {
  DrainageClass<Index>& c = classes_[static_cast<std::size_t>(x)];
  if (c.list < 0) c.list = lists_.create();
  lists_.push_back(static_cast<std::int32_t>(c.list), y);
}

template <typename Index>
void DrainageClasses<Index>::drop_succ(Index x) {
  DrainageClass<Index>& c = classes_[static_cast<std::size_t>(x)];
  if (c.list < 0) return;
  lists_.destroy(static_cast<std::int32_t>(c.list));
  c.list = -1;
}

template <typename Index>
void DrainageClasses<Index>::Seen::reset(std::size_t most) {
  for (std::size_t k : used_) slots_[k] = -1;
  used_.clear();
  std::size_t size = 64;
  while (size < 2 * most) size *= 2;
  if (slots_.size() < size) slots_.assign(size, -1);
}

template <typename Index>
bool DrainageClasses<Index>::Seen::insert(Index y) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t k = (static_cast<std::size_t>(y) * 0x9E3779B97F4A7C15ULL >> 20) & mask;
  while (slots_[k] >= 0) {
    if (slots_[k] == y) return false;
    k = (k + 1) & mask;
  }
  slots_[k] = y;
  used_.push_back(k);
  return true;
}

template <typename Index>
Index DrainageClasses<Index>::join(Index a, Index b) {
  a = find(a);
  b = find(b);
  if (a == b) return a;
  if (succ_size(a) < succ_size(b)) std::swap(a, b);
  classes_[b].parent = a;
  if (succ_size(b) > 0) {
    if (classes_[a].list < 0) {
      std::swap(classes_[a].list, classes_[b].list);
    } else {
      list_scratch_.assign(succ(b).begin(), succ(b).end());
      for (Index y : list_scratch_) add_succ(a, y);
    }
  }
  drop_succ(b);
  return a;
}

template <typename Index>
void DrainageClasses<Index>::successor_list(std::span<const Index> from, Index self,
                                     std::vector<Index>& to) {
  seen_.reset(from.size());
  direct_.clear();
  for (Index y : from) {
    y = find(y);
    if (y != self && seen_.insert(y)) direct_.push_back(y);
  }
  to.clear();
  // At most flat_list_ + 1 classes go into `to` and each list taken over
  // holds at most flat_list_ more: room for all of them.
  seen_.reset(direct_.size() + 2 * flat_list_ + 2);
  for (Index y : direct_) {
    if (classes_[y].kind == ClassKind::junction && succ_size(y) <= flat_list_) {
      if (succ_size(y) == 0) continue;
      for (Index z : succ(y)) {
        z = find(z);
        if (z != self && seen_.insert(z)) to.push_back(z);
      }
    } else if (seen_.insert(y)) {
      to.push_back(y);
    }
    if (to.size() > flat_list_) {
      to = direct_;
      return;
    }
  }
}

template <typename Index>
void DrainageClasses<Index>::compact(Index x) {
  if (classes_[x].list < 0) return;
  successor_list(succ(x), x, list_scratch_);
  lists_.assign(static_cast<std::int32_t>(classes_[x].list), list_scratch_);
}

template <typename Index>
Index DrainageClasses<Index>::shared_junction(std::vector<Index>& list) {
  std::sort(list.begin(), list.end());
  std::uint64_t key = list.size();
  for (Index y : list) {
    key = (key ^ static_cast<std::uint64_t>(y)) * 0x9E3779B97F4A7C15ULL;
    key ^= key >> 29;
  }
  constexpr std::size_t kMostSlots = std::size_t{1} << 18;
  Index& slot = junctions_[(key >> 20) & (junctions_.size() - 1)];
  if (slot >= 0) {
    const Index j = slot;
    if (find(j) == j && classes_[j].kind == ClassKind::junction && classes_[j].list >= 0 &&
        same_roots(succ(j), list)) {
      return j;
    }
  }
  const Index j = create(ClassKind::junction, -1);
  classes_[j].list = lists_.create();
  lists_.assign(static_cast<std::int32_t>(classes_[j].list), list);
  slot = j;
  if (++junction_count_ > junctions_.size() && junctions_.size() < kMostSlots) {
    junctions_.assign(junctions_.size() * 2, -1);
  }
  return j;
}

template <typename Index>
bool DrainageClasses<Index>::same_roots(std::span<const Index> v,
                                 const std::vector<Index>& roots) {
  if (v.size() != roots.size()) return false;
  for (Index y : v) {
    if (!std::binary_search(roots.begin(), roots.end(), find(y))) return false;
  }
  return true;
}

template class DrainageClasses<std::int32_t>;
template class DrainageClasses<std::int64_t>;

}  // namespace rn::bedcarve
