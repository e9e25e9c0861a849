#include "parent_network.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "det_math.hpp"
#include "random.hpp"

namespace sb {

namespace {

constexpr std::uint8_t kSliverDirs[4] = {0, 6, 4, 2};  // east, north, west, south

// Contract: the share of cell k (held by polygon `own`) that the polygon of
// the neighbour in direction kSliverDirs[s] reaches into, or 0.  Decided by
// hashing alone, so the counting and the filling pass agree.  The slivers of
// one cell take at most 60 % of it, and a polygon takes one sliver per cell.
double sliver(const ParentNetwork& net, std::uint64_t seed, double share, std::size_t k, int s,
              std::int32_t& into, double& taken) {
  into = -1;
  const Grid<std::int32_t>& c = net.catchment;
  const int i = static_cast<int>(k % static_cast<std::size_t>(c.nx)) + kDi[kSliverDirs[s]];
  const int j = static_cast<int>(k / static_cast<std::size_t>(c.nx)) + kDj[kSliverDirs[s]];
  if (!c.inside(i, j)) return 0.0;
  const std::int32_t other = c.at(i, j);
  if (other < 0 || other == c[k]) return 0.0;
  for (int t = 0; t < s; ++t) {  // one sliver per neighbouring polygon
    const int ti = static_cast<int>(k % static_cast<std::size_t>(c.nx)) + kDi[kSliverDirs[t]];
    const int tj = static_cast<int>(k / static_cast<std::size_t>(c.nx)) + kDj[kSliverDirs[t]];
    if (c.inside(ti, tj) && c.at(ti, tj) == other) return 0.0;
  }
  if (unit(hash4(seed, k, static_cast<std::uint64_t>(s))) >= share) return 0.0;
  const double part = 0.05 + 0.2 * unit(hash4(seed, k, static_cast<std::uint64_t>(s), 1));
  if (taken + part > 0.6) return 0.0;
  taken += part;
  into = other;
  return part;
}

std::uint8_t confluence_order(std::uint8_t top, std::uint8_t count) {
  return static_cast<std::uint8_t>(top + (count >= 2 ? 1 : 0));
}

}  // namespace

// Contract: links follow the channel cells in upstream-first order; a link
// starts at a channel head, below a confluence, or where its upstream link
// reached its longest length (`link_cells`, rounded up for a seeded share of
// the links given by its fraction).  Assumes `surface` is drained (every cell
// reaches the edge or the sea).  Cost O(cells) + O(records log records per
// polygon).
ParentNetwork build_parent_network(Surface surface, const Preset& preset, std::uint64_t seed) {
  ParentNetwork net;
  net.surface = std::move(surface);
  const Surface& s = net.surface;
  const std::size_t n = s.dir.size();
  net.acc = accumulate(s);
  net.channel = Grid<std::uint8_t>(s.dir.nx, s.dir.ny, 0);
  for (std::size_t k = 0; k < n; ++k) {
    net.channel[k] = s.water[k] != kSea && net.acc[k] >= preset.parent_channel_cells;
  }

  // Links, in upstream-first order of their head cells.
  net.catchment = Grid<std::int32_t>(s.dir.nx, s.dir.ny, -1);
  {
    std::vector<std::uint8_t> up_count(n, 0), up_top(n, 0), up_same(n, 0);
    std::vector<std::int32_t> up_link(n, -1);
    std::vector<std::int32_t> length, cap;  // cells of each link so far, and its longest
    const auto base_cap = static_cast<std::int32_t>(preset.link_cells);
    const double extra = preset.link_cells - base_cap;
    for (std::int32_t c : s.order) {
      const auto k = static_cast<std::size_t>(c);
      if (!net.channel[k]) continue;
      std::int32_t link = -1;
      if (up_count[k] == 1 && length[static_cast<std::size_t>(up_link[k])] < cap[static_cast<std::size_t>(up_link[k])]) {
        link = up_link[k];
        ++length[static_cast<std::size_t>(link)];
        net.links[static_cast<std::size_t>(link)].outlet = c;
      } else {
        link = static_cast<std::int32_t>(net.links.size());
        Link l;
        l.head = c;
        l.outlet = c;
        if (up_count[k] == 1) {
          l.order = net.links[static_cast<std::size_t>(up_link[k])].order;
        } else if (up_count[k] >= 2) {
          l.order = confluence_order(up_top[k], up_same[k]);
        }
        net.links.push_back(l);
        length.push_back(1);
        cap.push_back(base_cap + (unit(hash4(seed, 0x43415053u, static_cast<std::uint64_t>(link))) < extra ? 1 : 0));
      }
      net.catchment[k] = link;
      const std::int64_t d = downstream(s.dir, k);
      if (d < 0 || !net.channel[static_cast<std::size_t>(d)]) continue;
      const auto dk = static_cast<std::size_t>(d);
      if (up_count[dk] < 255) ++up_count[dk];
      up_link[dk] = link;
      const std::uint8_t o = net.links[static_cast<std::size_t>(link)].order;
      if (o > up_top[dk]) {
        up_top[dk] = o;
        up_same[dk] = 1;
      } else if (o == up_top[dk] && up_same[dk] < 2) {
        ++up_same[dk];
      }
    }
  }
  for (Link& l : net.links) {
    const std::int64_t d = downstream(s.dir, static_cast<std::size_t>(l.outlet));
    if (d >= 0 && net.channel[static_cast<std::size_t>(d)]) l.to = net.catchment[static_cast<std::size_t>(d)];
  }

  // Catchments: every land cell joins the polygon of the link its water
  // reaches first.
  for (auto it = s.order.rbegin(); it != s.order.rend(); ++it) {
    const auto k = static_cast<std::size_t>(*it);
    if (net.channel[k] || s.water[k] == kSea) continue;
    const std::int64_t d = downstream(s.dir, k);
    if (d >= 0 && s.water[static_cast<std::size_t>(d)] != kSea) {
      net.catchment[k] = net.catchment[static_cast<std::size_t>(d)];
    }
  }

  // Identifiers: unique, seeded, in no particular order.
  {
    std::vector<std::int32_t> perm(net.links.size());
    std::iota(perm.begin(), perm.end(), 0);
    Rng rng(hash4(seed, 0x4C494E4Bu));
    for (std::size_t k = perm.size(); k > 1; --k) std::swap(perm[k - 1], perm[rng.below(k)]);
    for (std::size_t k = 0; k < perm.size(); ++k) {
      net.links[k].id = 100000 + 4 * perm[k] + static_cast<std::int32_t>(rng.below(4));
    }
  }

  // Overlap records: own cells less the slivers that neighbouring polygons
  // take, plus this polygon's slivers of its neighbours' cells.
  const std::uint64_t sliver_seed = hash4(seed, 0x534C4956u);
  std::vector<std::int64_t> count(net.links.size() + 1, 0);
  for (std::size_t k = 0; k < n; ++k) {
    if (net.catchment[k] < 0) continue;
    ++count[static_cast<std::size_t>(net.catchment[k])];
    double taken = 0.0;
    for (int t = 0; t < 4; ++t) {
      std::int32_t into = -1;
      if (sliver(net, sliver_seed, preset.sliver_share, k, t, into, taken) > 0.0) ++count[static_cast<std::size_t>(into)];
    }
  }
  net.first.assign(net.links.size() + 1, 0);
  for (std::size_t l = 0; l < net.links.size(); ++l) net.first[l + 1] = net.first[l] + count[l];
  net.overlaps.resize(static_cast<std::size_t>(net.first.back()));
  std::vector<std::int64_t> fill(net.first.begin(), net.first.end() - 1);
  for (std::size_t k = 0; k < n; ++k) {
    if (net.catchment[k] < 0) continue;
    double taken = 0.0;
    for (int t = 0; t < 4; ++t) {
      std::int32_t into = -1;
      const double part = sliver(net, sliver_seed, preset.sliver_share, k, t, into, taken);
      if (part > 0.0) net.overlaps[static_cast<std::size_t>(fill[static_cast<std::size_t>(into)]++)] = {static_cast<std::int32_t>(k), part};
    }
    net.overlaps[static_cast<std::size_t>(fill[static_cast<std::size_t>(net.catchment[k])]++)] = {static_cast<std::int32_t>(k), 1.0 - taken};
  }
  for (std::size_t l = 0; l < net.links.size(); ++l) {
    auto b = net.overlaps.begin() + net.first[l];
    auto e = net.overlaps.begin() + net.first[l + 1];
    std::sort(b, e, [](const Overlap& a, const Overlap& o) { return a.cell < o.cell; });
    double area = 0.0;
    for (auto it = b; it != e; ++it) area += it->weight;
    for (auto it = b; it != e; ++it) it->weight /= area;
  }
  return net;
}

Window choose_window(const ParentNetwork& net, const Preset& preset) {
  const int pnx = net.acc.nx, pny = net.acc.ny;
  Window w;
  w.nx = preset.child_nx / preset.refine;
  w.ny = preset.child_ny / preset.refine;
  const int keep = preset.margin + 3;
  const int ilo = keep, ihi = pnx - keep - w.nx;
  const int jlo = keep, jhi = pny - keep - w.ny;
  w.i0 = std::max(0, (pnx - w.nx) / 2);
  w.j0 = std::max(0, (pny - w.ny) / 2);
  if (ihi < ilo || jhi < jlo) return w;

  // Share of sea per window from a summed-area table.
  Grid<std::int64_t> sum(pnx + 1, pny + 1, 0);
  for (int j = 0; j < pny; ++j) {
    for (int i = 0; i < pnx; ++i) {
      sum.at(i + 1, j + 1) = sum.at(i, j + 1) + sum.at(i + 1, j) - sum.at(i, j) +
                             (net.surface.water.at(i, j) == kSea ? 1 : 0);
    }
  }
  const int step = std::max(1, std::min(w.nx, w.ny) / 8);
  double best = -1.0;
  for (int j0 = jlo; j0 <= jhi; j0 += step) {
    for (int i0 = ilo; i0 <= ihi; i0 += step) {
      Window c{i0, j0, w.nx, w.ny};
      double inflow = 0.0;
      auto look = [&](int qi, int qj) {
        const std::size_t q = net.acc.index(qi, qj);
        for (int d = 0; d < 8; ++d) {
          const int pi = qi + kDi[d], pj = qj + kDj[d];
          if (c.contains(pi, pj)) continue;
          const std::size_t p = net.acc.index(pi, pj);
          if (net.channel[p] && downstream(net.surface.dir, p) == static_cast<std::int64_t>(q)) {
            inflow += det_log2(1.0 + static_cast<double>(net.acc[p]) / preset.parent_channel_cells);
          }
        }
      };
      for (int i = i0; i < i0 + w.nx; ++i) {
        look(i, j0);
        look(i, j0 + w.ny - 1);
      }
      for (int j = j0 + 1; j < j0 + w.ny - 1; ++j) {
        look(i0, j);
        look(i0 + w.nx - 1, j);
      }
      const double sea = static_cast<double>(sum.at(i0 + w.nx, j0 + w.ny) - sum.at(i0, j0 + w.ny) -
                                             sum.at(i0 + w.nx, j0) + sum.at(i0, j0)) /
                         (static_cast<double>(w.nx) * w.ny);
      const double factor = sea < 0.04 ? 0.25 : (sea > 0.35 ? 0.2 : 1.0);
      const double score = inflow * factor;
      if (score > best) {
        best = score;
        w.i0 = i0;
        w.j0 = j0;
      }
    }
  }
  return w;
}

void mark_irregular_links(ParentNetwork& net, const Window& window, std::uint64_t seed) {
  constexpr int kClearance = 6;  // parent cells between the window and any overlap cell
  const int nx = net.acc.nx;
  auto far = [&](std::size_t l) {
    for (std::int64_t r = net.first[l]; r < net.first[l + 1]; ++r) {
      const auto k = static_cast<std::size_t>(net.overlaps[static_cast<std::size_t>(r)].cell);
      const int i = static_cast<int>(k % static_cast<std::size_t>(nx));
      const int j = static_cast<int>(k / static_cast<std::size_t>(nx));
      if (i >= window.i0 - kClearance && i < window.i0 + window.nx + kClearance &&
          j >= window.j0 - kClearance && j < window.j0 + window.ny + kClearance) {
        return false;
      }
    }
    return true;
  };
  Rng rng(hash4(seed, 0x49525245u));
  int missing = 0, doubled = 0;
  for (int attempt = 0; attempt < 10000 && (missing < 3 || doubled < 2) && !net.links.empty(); ++attempt) {
    Link& l = net.links[rng.below(net.links.size())];
    if (!l.listed || l.doubled || !far(static_cast<std::size_t>(&l - net.links.data()))) continue;
    if (missing < 3) {
      l.listed = false;
      ++missing;
    } else {
      l.doubled = true;
      ++doubled;
    }
  }
}

std::vector<std::int32_t> route_link_entries(const ParentNetwork& net) {
  std::vector<std::int32_t> entries;
  entries.reserve(net.links.size() + 2);
  for (std::size_t l = 0; l < net.links.size(); ++l) {
    if (net.links[l].listed) entries.push_back(static_cast<std::int32_t>(l));
  }
  for (std::size_t l = 0; l < net.links.size(); ++l) {
    if (net.links[l].doubled) entries.push_back(static_cast<std::int32_t>(l));
  }
  return entries;
}

}  // namespace sb
