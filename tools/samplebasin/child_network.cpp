#include "child_network.hpp"

#include <algorithm>

#include "drainage.hpp"
#include "random.hpp"

namespace sb {

namespace {

struct Region {
  int i0 = 0, j0 = 0;  // first parent cell (0-based)
  int nx = 0, ny = 0;  // parent cells
  int refine = 1;
  bool contains(int i, int j) const { return i >= i0 && j >= j0 && i < i0 + nx && j < j0 + ny; }
  // Child cell at the middle of the block of parent cell (i, j).
  int mid_i(int i) const { return (i - i0) * refine + refine / 2; }
  int mid_j(int j) const { return (j - j0) * refine + refine / 2; }
};

// Contract: lowers the fine terrain along the parent channels that carry at
// least `burn_cells` of accumulation, from the middle of each parent cell to
// the middle of its downstream cell, so that the heights along every cut
// path fall by at least 1 cm a cell.  Land stays above sea level.  Visits
// the parent cells upstream first, so a path starts from the level its
// tributaries reached.  Cost O(parent cells + refine x cut cells).
void cut_parent_rivers(Grid<float>& raw, const ParentNetwork& parent, const Region& region,
                       int burn_cells) {
  const Grid<std::uint8_t>& pdir = parent.surface.dir;
  std::vector<std::uint8_t> cut(raw.size(), 0);
  auto lower = [&](int a, int b, float target) {
    float& h = raw.at(a, b);
    if (h > 0.001f) target = std::max(target, 0.001f);
    h = std::min(h, target);
    cut[raw.index(a, b)] = 1;
    return h;
  };
  for (std::int32_t c : parent.surface.order) {
    const auto p = static_cast<std::size_t>(c);
    if (!parent.channel[p] || parent.acc[p] < burn_cells) continue;
    const int pi = static_cast<int>(p % static_cast<std::size_t>(pdir.nx));
    const int pj = static_cast<int>(p / static_cast<std::size_t>(pdir.nx));
    if (!region.contains(pi, pj)) continue;
    const std::int64_t q = downstream(pdir, p);
    if (q < 0 || parent.surface.water[static_cast<std::size_t>(q)] == kSea) continue;
    const std::uint8_t d = pdir[p];
    const float depth = 2.0f + 1.5f * parent.links[static_cast<std::size_t>(parent.catchment[p])].order;
    int a = region.mid_i(pi), b = region.mid_j(pj);
    float level = cut[raw.index(a, b)] ? raw.at(a, b) : lower(a, b, raw.at(a, b) - depth);
    for (int s = 0; s < region.refine; ++s) {
      a += kDi[d];
      b += kDj[d];
      if (!raw.inside(a, b)) break;
      level = lower(a, b, std::min(raw.at(a, b) - depth, level - 0.01f));
    }
  }
}

template <typename T>
Grid<T> crop(const Grid<T>& g, int i0, int j0, int nx, int ny) {
  Grid<T> out(nx, ny);
  for (int j = 0; j < ny; ++j) {
    std::copy_n(g.v.begin() + static_cast<std::ptrdiff_t>(g.index(i0, j0 + j)), nx,
                out.v.begin() + static_cast<std::ptrdiff_t>(out.index(0, j)));
  }
  return out;
}

}  // namespace

ChildGrid build_child_grid(const ParentNetwork& parent, const Window& window, const Preset& preset,
                           const TerrainModel& terrain, const Frame& frame, std::uint64_t seed) {
  const int r = preset.refine;
  const int m = preset.margin;
  Region region{window.i0 - m, window.j0 - m, window.nx + 2 * m, window.ny + 2 * m, r};
  const double dx = frame.dx_km;
  const double cell = dx / r;
  Grid<float> raw = sample_terrain(terrain, region.nx * r, region.ny * r,
                                   (region.i0 - 0.5 + 0.5 / r) * dx, (region.j0 - 0.5 + 0.5 / r) * dx, cell);
  cut_parent_rivers(raw, parent, region, preset.burn_cells);

  LakeRule lakes;
  lakes.seed = hash4(seed, 0x43484C44u);
  lakes.min_depth_m = 1.0f;
  lakes.min_cells = 6;
  lakes.probability = 0.5;
  Surface s = derive_surface(std::move(raw), lakes);

  // Parent rivers that enter the region: their area and order arrive at the
  // middle of the first parent cell inside.
  Grid<std::int32_t> extra(s.dir.nx, s.dir.ny, 0);
  Grid<std::uint8_t> inflow(s.dir.nx, s.dir.ny, 0);
  const Grid<std::uint8_t>& pdir = parent.surface.dir;
  auto inject = [&](int qi, int qj) {
    const std::size_t q = pdir.index(qi, qj);
    for (int d = 0; d < 8; ++d) {
      const int pi = qi + kDi[d], pj = qj + kDj[d];
      if (region.contains(pi, pj) || !pdir.inside(pi, pj)) continue;
      const std::size_t p = pdir.index(pi, pj);
      if (!parent.channel[p] || downstream(pdir, p) != static_cast<std::int64_t>(q)) continue;
      const int a = region.mid_i(qi), b = region.mid_j(qj);
      extra.at(a, b) += parent.acc[p] * r * r;
      const std::uint8_t o = parent.links[static_cast<std::size_t>(parent.catchment[p])].order;
      inflow.at(a, b) = std::max(inflow.at(a, b), o);
    }
  };
  for (int i = region.i0; i < region.i0 + region.nx; ++i) {
    inject(i, region.j0);
    inject(i, region.j0 + region.ny - 1);
  }
  for (int j = region.j0 + 1; j < region.j0 + region.ny - 1; ++j) {
    inject(region.i0, j);
    inject(region.i0 + region.nx - 1, j);
  }
  Grid<std::int32_t> acc = accumulate(s, &extra);
  extra = {};
  Grid<std::uint8_t> channel(s.dir.nx, s.dir.ny, 0);
  for (std::size_t k = 0; k < channel.size(); ++k) {
    channel[k] = s.water[k] != kSea && acc[k] >= preset.child_channel_cells;
  }
  Grid<std::uint8_t> order = strahler(s, channel, &inflow);

  ChildGrid child;
  const int ci0 = m * r, cj0 = m * r, cnx = preset.child_nx, cny = preset.child_ny;
  child.height = crop(s.height, ci0, cj0, cnx, cny);
  child.water = crop(s.water, ci0, cj0, cnx, cny);
  child.dir = crop(s.dir, ci0, cj0, cnx, cny);
  child.acc = crop(acc, ci0, cj0, cnx, cny);
  child.channel = crop(channel, ci0, cj0, cnx, cny);
  child.order = crop(order, ci0, cj0, cnx, cny);
  child.lat = Grid<float>(cnx, cny, 0.0f);
  child.lon = Grid<float>(cnx, cny, 0.0f);
  for (int j = 0; j < cny; ++j) {
    const float y = child_to_parent(window.j0, j, r);
    for (int i = 0; i < cnx; ++i) {
      frame.latlon(child_to_parent(window.i0, i, r), y, child.lat.at(i, j), child.lon.at(i, j));
    }
  }
  return child;
}

std::vector<BoundaryNode> boundary_nodes(const ChildGrid& child) {
  std::vector<BoundaryNode> nodes;
  const int nx = child.dir.nx, ny = child.dir.ny;
  auto take = [&](int i, int j, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    if (!child.channel.at(i, j)) return;
    const std::uint8_t d = child.dir.at(i, j);
    if (d == a || d == b || d == c) nodes.push_back({i, j});
  };
  for (int i = 0; i < nx; ++i) take(i, 0, 6, 7, 5);        // north, north-east, north-west
  for (int i = 0; i < nx; ++i) take(i, ny - 1, 1, 2, 3);   // south-east, south, south-west
  for (int j = 1; j < ny - 1; ++j) take(0, j, 0, 7, 1);    // east, north-east, south-east
  for (int j = 1; j < ny - 1; ++j) take(nx - 1, j, 4, 5, 3);  // west, north-west, south-west
  return nodes;
}

}  // namespace sb
