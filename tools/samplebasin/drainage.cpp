#include "drainage.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "random.hpp"

namespace sb {

namespace {

// Breadth-first search helper over eight neighbours.
template <typename Visit>
void for_neighbours(int nx, int ny, std::size_t k, Visit&& visit) {
  const int i = static_cast<int>(k % static_cast<std::size_t>(nx));
  const int j = static_cast<int>(k / static_cast<std::size_t>(nx));
  for (std::uint8_t d = 0; d < 8; ++d) {
    const int ni = i + kDi[d];
    const int nj = j + kDj[d];
    if (ni < 0 || nj < 0 || ni >= nx || nj >= ny) continue;
    visit(static_cast<std::size_t>(nj) * static_cast<std::size_t>(nx) + static_cast<std::size_t>(ni), d);
  }
}

std::uint8_t outward(int i, int j, int nx, int ny) {
  const bool w = i == 0, e = i == nx - 1, s = j == 0, n = j == ny - 1;
  if (s && w) return 3;
  if (s && e) return 1;
  if (n && w) return 5;
  if (n && e) return 7;
  if (s) return 2;
  if (n) return 6;
  if (w) return 4;
  return 0;
}

}  // namespace

Grid<std::uint8_t> find_sea(const Grid<float>& height) {
  Grid<std::uint8_t> sea(height.nx, height.ny, kLand);
  std::vector<std::int32_t> queue;
  for (int j = 0; j < height.ny; ++j) {
    for (int i = 0; i < height.nx; ++i) {
      if (!height.on_edge(i, j) || !(height.at(i, j) <= 0.0f)) continue;
      sea.at(i, j) = kSea;
      queue.push_back(static_cast<std::int32_t>(height.index(i, j)));
    }
  }
  for (std::size_t head = 0; head < queue.size(); ++head) {
    for_neighbours(height.nx, height.ny, static_cast<std::size_t>(queue[head]), [&](std::size_t n, std::uint8_t) {
      if (sea[n] == kSea || !(height[n] <= 0.0f)) return;
      sea[n] = kSea;
      queue.push_back(static_cast<std::int32_t>(n));
    });
  }
  return sea;
}

Grid<float> fill_depressions(const Grid<float>& height, const Grid<std::uint8_t>& outlet) {
  // Open cells wait in buckets of kStep metres (a linked list per bucket, in
  // `next`), taken lowest bucket first; within a bucket the order is last in
  // first out.  Cells at or below the level of the cell that reaches them
  // are raised just above it and go through a plain queue first.  Taking a
  // bucket as a whole instead of the exact lowest cell can leave a cell up
  // to kStep higher than the least fill would; every guarantee stands.
  constexpr double kStep = 0.001;
  constexpr std::size_t kMaxBuckets = std::size_t{1} << 26;
  const std::size_t n = height.size();
  float lo = 0.0f, hi = 0.0f;
  bool any = false;
  for (std::size_t k = 0; k < n; ++k) {
    const float h = height[k];
    if (!std::isfinite(h)) continue;
    lo = any ? std::min(lo, h) : h;
    hi = any ? std::max(hi, h) : h;
    any = true;
  }
  double step = kStep;
  while ((static_cast<double>(hi) - lo) / step + 2.0 > static_cast<double>(kMaxBuckets)) step *= 2.0;
  const std::size_t buckets = static_cast<std::size_t>((static_cast<double>(hi) - lo) / step) + 2;
  auto bucket_of = [&](float h) -> std::size_t {
    if (!(h > lo)) return 0;  // also a height that is not a number
    if (!(h < hi)) return buckets - 1;
    return static_cast<std::size_t>((static_cast<double>(h) - lo) / step);
  };
  std::vector<std::int32_t> head(buckets, -1);
  std::vector<std::int32_t> next(n, -1);
  std::size_t current = buckets;  // lowest bucket that may hold cells
  auto push = [&](std::size_t k, float h) {
    const std::size_t b = bucket_of(h);
    next[k] = head[b];
    head[b] = static_cast<std::int32_t>(k);
    current = std::min(current, b);
  };
  std::vector<std::int32_t> pit;  // cells raised onto a flat, first in first out
  std::size_t pit_head = 0;
  Grid<float> filled(height.nx, height.ny, 0.0f);
  std::vector<std::uint8_t> closed(n, 0);
  for (std::size_t k = 0; k < n; ++k) {
    if (!outlet[k]) continue;
    filled[k] = height[k];
    closed[k] = 1;
    push(k, height[k]);
  }
  constexpr float kUp = std::numeric_limits<float>::infinity();
  for (;;) {
    std::size_t c = 0;
    if (pit_head < pit.size()) {
      c = static_cast<std::size_t>(pit[pit_head++]);
    } else {
      pit.clear();
      pit_head = 0;
      while (current < buckets && head[current] < 0) ++current;
      if (current >= buckets) break;
      c = static_cast<std::size_t>(head[current]);
      head[current] = next[c];
    }
    const float level = filled[c];
    const float raised = std::nextafter(level, kUp);
    for_neighbours(height.nx, height.ny, c, [&](std::size_t m, std::uint8_t) {
      if (closed[m]) return;
      closed[m] = 1;
      if (!(height[m] > level)) {  // also catches a height that is not a number
        filled[m] = raised;
        pit.push_back(static_cast<std::int32_t>(m));
      } else {
        filled[m] = height[m];
        push(m, height[m]);
      }
    });
  }
  return filled;
}

Grid<std::uint8_t> flow_directions(const Grid<float>& filled, const Grid<std::uint8_t>& sea) {
  const int nx = filled.nx, ny = filled.ny;
  Grid<std::uint8_t> dir(nx, ny, kNoDir);
  std::vector<std::int32_t> queue;  // sea cells, breadth first from the edge
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      if (!filled.on_edge(i, j)) continue;
      dir.at(i, j) = outward(i, j, nx, ny);
      if (sea.at(i, j) == kSea) queue.push_back(static_cast<std::int32_t>(filled.index(i, j)));
    }
  }
  for (std::size_t head = 0; head < queue.size(); ++head) {
    for_neighbours(nx, ny, static_cast<std::size_t>(queue[head]), [&](std::size_t n, std::uint8_t d) {
      if (sea[n] != kSea || dir[n] != kNoDir) return;
      dir[n] = opposite(d);
      queue.push_back(static_cast<std::int32_t>(n));
    });
  }
  constexpr double kDiagonal = 0.70710678118654752;
  for (int j = 1; j < ny - 1; ++j) {
    for (int i = 1; i < nx - 1; ++i) {
      const std::size_t k = filled.index(i, j);
      if (dir[k] != kNoDir) continue;
      const double h = filled[k];
      double best = 0.0;
      std::uint8_t best_d = kNoDir;
      for (std::uint8_t d = 0; d < 8; ++d) {
        const double drop = h - static_cast<double>(filled.at(i + kDi[d], j + kDj[d]));
        if (!(drop > 0.0)) continue;
        const double slope = (d & 1) ? drop * kDiagonal : drop;
        if (slope > best) {
          best = slope;
          best_d = d;
        }
      }
      if (best_d == kNoDir) throw std::logic_error("flow_directions: a cell without a lower neighbour");
      dir[k] = best_d;
    }
  }
  return dir;
}

std::vector<std::int32_t> upstream_first(const Grid<std::uint8_t>& dir) {
  std::vector<std::uint8_t> inflows(dir.size(), 0);
  for (std::size_t k = 0; k < dir.size(); ++k) {
    const std::int64_t d = downstream(dir, k);
    if (d >= 0) ++inflows[static_cast<std::size_t>(d)];
  }
  std::vector<std::int32_t> order;
  order.reserve(dir.size());
  for (std::size_t k = 0; k < dir.size(); ++k) {
    if (inflows[k] == 0) order.push_back(static_cast<std::int32_t>(k));
  }
  for (std::size_t head = 0; head < order.size(); ++head) {
    const std::int64_t d = downstream(dir, static_cast<std::size_t>(order[head]));
    if (d >= 0 && --inflows[static_cast<std::size_t>(d)] == 0) order.push_back(static_cast<std::int32_t>(d));
  }
  if (order.size() != dir.size()) throw std::logic_error("upstream_first: the flow directions hold a cycle");
  return order;
}

void mark_lakes(Grid<float>& height, const Grid<float>& filled, const LakeRule& rule,
                Grid<std::uint8_t>& water) {
  constexpr float kTolerance = 0.05f;  // metres of fill that make a depression cell
  std::vector<std::uint8_t> seen(height.size(), 0);
  std::vector<std::int32_t> component;
  for (std::size_t start = 0; start < height.size(); ++start) {
    if (seen[start] || water[start] != kLand || !(filled[start] - height[start] > kTolerance)) continue;
    component.clear();
    component.push_back(static_cast<std::int32_t>(start));
    seen[start] = 1;
    float depth = 0.0f;
    float level = filled[start];
    for (std::size_t head = 0; head < component.size(); ++head) {
      const auto c = static_cast<std::size_t>(component[head]);
      depth = std::max(depth, filled[c] - height[c]);
      level = std::min(level, filled[c]);
      for_neighbours(height.nx, height.ny, c, [&](std::size_t n, std::uint8_t) {
        if (seen[n] || water[n] != kLand || !(filled[n] - height[n] > kTolerance)) return;
        seen[n] = 1;
        component.push_back(static_cast<std::int32_t>(n));
      });
    }
    if (depth < rule.min_depth_m || static_cast<int>(component.size()) < rule.min_cells) continue;
    if (unit(hash4(rule.seed, 0x4C414B45u, start)) >= rule.probability) continue;
    for (std::int32_t c : component) {
      water[static_cast<std::size_t>(c)] = kLake;
      height[static_cast<std::size_t>(c)] = level;
    }
  }
}

Surface derive_surface(Grid<float> raw, const LakeRule& rule) {
  Surface s;
  s.water = find_sea(raw);
  Grid<std::uint8_t> outlet(raw.nx, raw.ny, 0);
  for (int j = 0; j < raw.ny; ++j) {
    for (int i = 0; i < raw.nx; ++i) {
      const std::size_t k = raw.index(i, j);
      if (s.water[k] == kSea) raw[k] = 0.0f;
      outlet[k] = s.water[k] == kSea || raw.on_edge(i, j);
    }
  }
  Grid<float> filled = fill_depressions(raw, outlet);
  outlet = {};
  mark_lakes(raw, filled, rule, s.water);
  s.dir = flow_directions(filled, s.water);
  s.height = std::move(raw);
  s.order = upstream_first(s.dir);
  return s;
}

Grid<std::int32_t> accumulate(const Surface& s, const Grid<std::int32_t>* extra) {
  Grid<std::int32_t> acc(s.dir.nx, s.dir.ny, 1);
  if (extra != nullptr) {
    for (std::size_t k = 0; k < acc.size(); ++k) acc[k] += (*extra)[k];
  }
  for (std::int32_t c : s.order) {
    const auto k = static_cast<std::size_t>(c);
    if (s.water[k] == kSea) continue;
    const std::int64_t d = downstream(s.dir, k);
    if (d < 0 || s.water[static_cast<std::size_t>(d)] == kSea) continue;
    acc[static_cast<std::size_t>(d)] += acc[k];
  }
  return acc;
}

Grid<std::uint8_t> strahler(const Surface& s, const Grid<std::uint8_t>& channel,
                            const Grid<std::uint8_t>* inflow_order) {
  const std::size_t n = s.dir.size();
  Grid<std::uint8_t> order(s.dir.nx, s.dir.ny, 0);
  std::vector<std::uint8_t> top(n, 0), count(n, 0);  // highest tributary order, how many
  auto add = [&](std::size_t k, std::uint8_t o) {
    if (o > top[k]) {
      top[k] = o;
      count[k] = 1;
    } else if (o == top[k] && count[k] < 2) {
      ++count[k];
    }
  };
  for (std::int32_t c : s.order) {
    const auto k = static_cast<std::size_t>(c);
    if (!channel[k]) continue;
    if (inflow_order != nullptr && (*inflow_order)[k] > 0) add(k, (*inflow_order)[k]);
    const std::uint8_t o = top[k] == 0 ? 1 : static_cast<std::uint8_t>(top[k] + (count[k] >= 2 ? 1 : 0));
    order[k] = o;
    const std::int64_t d = downstream(s.dir, k);
    if (d >= 0 && channel[static_cast<std::size_t>(d)]) add(static_cast<std::size_t>(d), o);
  }
  return order;
}

}  // namespace sb
