#include "basin.hpp"

#include <algorithm>
#include <cmath>

#include "drainage.hpp"
#include "random.hpp"
#include "terrain.hpp"

namespace sb {

namespace {

constexpr const char* kRivers[] = {"Alder", "Birch", "Cedar", "Willow", "Stony", "Clear", "Muddy",
                                   "Elk", "Bear", "Otter", "Fox", "Crane", "Pine", "Aspen",
                                   "Maple", "Granite", "Sandy", "Silver", "Cold", "Spring"};
constexpr const char* kKinds[] = {"Creek", "River", "Brook", "Run", "Fork"};
constexpr const char* kPlaces[] = {"Ashford", "Brookfield", "Millbrook", "Fairview", "Oakdale",
                                   "Riverton", "Lakeside", "Westport", "Eastham", "Northfield",
                                   "Southgate", "Hillcrest", "Greenville", "Stonebridge",
                                   "Clearwater", "Redmond", "Kingsley", "Marlow", "Dunmore", "Harwick"};

template <std::size_t N>
const char* pick(const char* const (&words)[N], std::uint64_t h) {
  return words[h % N];
}

// Contract: up to `count` gauges on parent channel cells, largest rivers
// first, no two closer than `spacing` cells (a coarse occupancy grid keeps
// the test O(1)).  Names: most quoted texts with blanks (some with a
// comma), every fifth one word.  Cost O(channel cells log channel cells).
std::vector<Gauge> place_gauges(const Basin& b, int count) {
  const ParentNetwork& p = b.parent;
  std::vector<std::int32_t> cand(b.points);
  std::stable_sort(cand.begin(), cand.end(), [&](std::int32_t x, std::int32_t y) {
    return p.acc[static_cast<std::size_t>(x)] > p.acc[static_cast<std::size_t>(y)];
  });
  const int nx = p.acc.nx, ny = p.acc.ny;
  const int spacing = std::max(2, static_cast<int>(std::min(nx, ny) / (2.0 * std::sqrt(std::max(count, 1)))));
  const int gx = nx / spacing + 1, gy = ny / spacing + 1;
  std::vector<std::int32_t> taken(static_cast<std::size_t>(gx) * static_cast<std::size_t>(gy), -1);
  std::vector<Gauge> gauges;
  for (std::int32_t c : cand) {
    if (static_cast<int>(gauges.size()) >= count) break;
    const int i = c % nx, j = c / nx;
    const int bi = i / spacing, bj = j / spacing;
    bool clear = true;
    for (int v = std::max(0, bj - 1); v <= std::min(gy - 1, bj + 1) && clear; ++v) {
      for (int u = std::max(0, bi - 1); u <= std::min(gx - 1, bi + 1) && clear; ++u) {
        const std::int32_t o = taken[static_cast<std::size_t>(v) * static_cast<std::size_t>(gx) + static_cast<std::size_t>(u)];
        if (o >= 0 && std::max(std::abs(o % nx - i), std::abs(o / nx - j)) < spacing) clear = false;
      }
    }
    if (!clear) continue;
    taken[static_cast<std::size_t>(bj) * static_cast<std::size_t>(gx) + static_cast<std::size_t>(bi)] = c;
    Gauge g;
    g.cell = c;
    const auto k = static_cast<std::int32_t>(gauges.size());
    g.number = 1001 + k;
    const std::uint64_t h = hash4(b.seed, 0x47415547u, static_cast<std::uint64_t>(k));
    if (k % 5 == 4) {
      g.name = "Gauge" + std::to_string(g.number);
    } else {
      g.name = std::string(pick(kRivers, h)) + " " + pick(kKinds, h >> 8) +
               (k % 2 ? " near " : " at ") + pick(kPlaces, h >> 16);
      if (k % 3 == 2) g.name += ", lower";
    }
    gauges.push_back(std::move(g));
  }
  return gauges;
}

}  // namespace

Basin build_basin(const Preset& preset, std::uint64_t seed, void (*progress)(const char*)) {
  auto stage = [&](const char* what) {
    if (progress != nullptr) progress(what);
  };
  Basin b;
  b.preset = preset;
  b.seed = seed;
  b.frame = make_frame(preset);
  const TerrainModel terrain(preset, seed);

  Grid<float> raw = sample_terrain(terrain, preset.parent_nx, preset.parent_ny, 0.0, 0.0, preset.parent_dx_km);
  stage("parent terrain");
  LakeRule lakes;
  lakes.seed = hash4(seed, 0x50524E54u);
  lakes.min_depth_m = 1.0f;
  lakes.min_cells = 2;
  lakes.probability = 0.5;
  b.parent = build_parent_network(derive_surface(std::move(raw), lakes), preset, seed);
  stage("parent network");

  b.parent_lat = Grid<float>(preset.parent_nx, preset.parent_ny, 0.0f);
  b.parent_lon = Grid<float>(preset.parent_nx, preset.parent_ny, 0.0f);
  for (int j = 0; j < preset.parent_ny; ++j) {
    for (int i = 0; i < preset.parent_nx; ++i) {
      b.frame.latlon(static_cast<float>(i + 1), static_cast<float>(j + 1), b.parent_lat.at(i, j), b.parent_lon.at(i, j));
    }
  }
  // Cell (1, 1) is the projection's known point: it holds exactly the
  // latitude and longitude that the projection is anchored on.
  b.parent_lat.at(0, 0) = b.frame.lat0;
  b.parent_lon.at(0, 0) = b.frame.lon0;
  stage("parent coordinates");

  b.window = choose_window(b.parent, preset);
  mark_irregular_links(b.parent, b.window, seed);
  b.child = build_child_grid(b.parent, b.window, preset, terrain, b.frame, seed);
  b.nodes = boundary_nodes(b.child);
  stage("child grid");

  for (std::size_t k = 0; k < b.parent.channel.size(); ++k) {
    if (b.parent.channel[k]) b.points.push_back(static_cast<std::int32_t>(k));
  }
  b.gauges = place_gauges(b, preset.stations);
  return b;
}

std::int32_t record_of(const Basin& b, std::size_t cell) {
  const auto it = std::lower_bound(b.points.begin(), b.points.end(), static_cast<std::int32_t>(cell));
  if (it == b.points.end() || *it != static_cast<std::int32_t>(cell)) return 0;
  return static_cast<std::int32_t>(it - b.points.begin()) + 1;
}

std::size_t feeding_channel(const Basin& b, int ci, int cj) {
  const ParentNetwork& p = b.parent;
  const std::size_t home = parent_cell_of(b, ci, cj);
  const int hi = static_cast<int>(home % static_cast<std::size_t>(p.acc.nx));
  const int hj = static_cast<int>(home / static_cast<std::size_t>(p.acc.nx));
  const int reach = std::max(p.acc.nx, p.acc.ny);
  for (int d = 0; d <= reach; ++d) {
    std::int64_t best = -1;
    auto consider = [&](int i, int j) {
      if (!p.acc.inside(i, j)) return;
      const std::size_t k = p.acc.index(i, j);
      if (p.channel[k] && (best < 0 || p.acc[k] > p.acc[static_cast<std::size_t>(best)])) best = static_cast<std::int64_t>(k);
    };
    for (int i = hi - d; i <= hi + d; ++i) {  // bottom and top rows of the ring
      consider(i, hj - d);
      if (d > 0) consider(i, hj + d);
    }
    for (int j = hj - d + 1; j <= hj + d - 1; ++j) {  // its sides
      consider(hi - d, j);
      consider(hi + d, j);
    }
    if (best >= 0) return static_cast<std::size_t>(best);
  }
  return home;  // a grid without channels: the cell itself
}

}  // namespace sb
