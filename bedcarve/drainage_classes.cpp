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
  classes_.push_back({x, lake, 0, 0, kind, {}});
  return x;
}

template <typename Index>
Index DrainageClasses<Index>::join(Index a, Index b) {
  a = find(a);
  b = find(b);
  if (a == b) return a;
  if (classes_[a].succ.size() < classes_[b].succ.size()) std::swap(a, b);
  classes_[b].parent = a;
  auto& from = classes_[b].succ;
  classes_[a].succ.insert(classes_[a].succ.end(), from.begin(), from.end());
  std::vector<Index>().swap(from);
  return a;
}

template <typename Index>
void DrainageClasses<Index>::successor_list(std::span<const Index> from, Index self,
                                     std::vector<Index>& to) {
  ++mark_;
  direct_.clear();
  for (Index y : from) {
    y = find(y);
    if (y == self || classes_[y].mark == mark_) continue;
    classes_[y].mark = mark_;
    direct_.push_back(y);
  }
  to.clear();
  ++mark_;
  for (Index y : direct_) {
    if (classes_[y].kind == ClassKind::junction && classes_[y].succ.size() <= flat_list_) {
      for (Index z : classes_[y].succ) {
        z = find(z);
        if (z == self || classes_[z].mark == mark_) continue;
        classes_[z].mark = mark_;
        to.push_back(z);
      }
    } else if (classes_[y].mark != mark_) {
      classes_[y].mark = mark_;
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
  successor_list(classes_[x].succ, x, list_scratch_);
  classes_[x].succ.swap(list_scratch_);
}

template <typename Index>
Index DrainageClasses<Index>::shared_junction(std::vector<Index>& list) {
  std::sort(list.begin(), list.end());
  std::uint64_t key = list.size();
  for (Index y : list) {
    key = (key ^ static_cast<std::uint64_t>(y)) * 0x9E3779B97F4A7C15ULL;
    key ^= key >> 29;
  }
  auto [it, fresh] = junctions_.try_emplace(key, -1);
  if (!fresh) {
    const Index j = it->second;
    if (find(j) == j && classes_[j].kind == ClassKind::junction &&
        same_roots(classes_[j].succ, list)) {
      return j;
    }
  }
  const Index j = create(ClassKind::junction, -1);
  classes_[j].succ = list;
  it->second = j;
  return j;
}

template <typename Index>
bool DrainageClasses<Index>::same_roots(const std::vector<Index>& v,
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
