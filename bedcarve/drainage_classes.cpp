#include "drainage_classes.hpp"

#include <algorithm>
#include <utility>

namespace rn::bedcarve {

std::int32_t DrainageClasses::create(ClassKind kind, std::int32_t lake) {
  const auto x = static_cast<std::int32_t>(classes_.size());
  classes_.push_back({x, lake, 0, 0, kind, {}});
  return x;
}

std::int32_t DrainageClasses::join(std::int32_t a, std::int32_t b) {
  a = find(a);
  b = find(b);
  if (a == b) return a;
  if (classes_[a].succ.size() < classes_[b].succ.size()) std::swap(a, b);
  classes_[b].parent = a;
  auto& from = classes_[b].succ;
  classes_[a].succ.insert(classes_[a].succ.end(), from.begin(), from.end());
  std::vector<std::int32_t>().swap(from);
  return a;
}

void DrainageClasses::successor_list(std::span<const std::int32_t> from, std::int32_t self,
                                     std::vector<std::int32_t>& to) {
  ++mark_;
  direct_.clear();
  for (std::int32_t y : from) {
    y = find(y);
    if (y == self || classes_[y].mark == mark_) continue;
    classes_[y].mark = mark_;
    direct_.push_back(y);
  }
  to.clear();
  ++mark_;
  for (std::int32_t y : direct_) {
    if (classes_[y].kind == ClassKind::junction && classes_[y].succ.size() <= flat_list_) {
      for (std::int32_t z : classes_[y].succ) {
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

void DrainageClasses::compact(std::int32_t x) {
  successor_list(classes_[x].succ, x, list_scratch_);
  classes_[x].succ.swap(list_scratch_);
}

std::int32_t DrainageClasses::shared_junction(std::vector<std::int32_t>& list) {
  std::sort(list.begin(), list.end());
  std::uint64_t key = list.size();
  for (std::int32_t y : list) {
    key = (key ^ static_cast<std::uint32_t>(y)) * 0x9E3779B97F4A7C15ULL;
    key ^= key >> 29;
  }
  auto [it, fresh] = junctions_.try_emplace(key, -1);
  if (!fresh) {
    const std::int32_t j = it->second;
    if (find(j) == j && classes_[j].kind == ClassKind::junction &&
        same_roots(classes_[j].succ, list)) {
      return j;
    }
  }
  const std::int32_t j = create(ClassKind::junction, -1);
  classes_[j].succ = list;
  it->second = j;
  return j;
}

bool DrainageClasses::same_roots(const std::vector<std::int32_t>& v,
                                 const std::vector<std::int32_t>& roots) {
  if (v.size() != roots.size()) return false;
  for (std::int32_t y : v) {
    if (!std::binary_search(roots.begin(), roots.end(), find(y))) return false;
  }
  return true;
}

}  // namespace rn::bedcarve
