// The generator's algorithms: drainage and networks on small grids, and
// the deterministic elementary functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "child_network.hpp"
#include "det_math.hpp"
#include "drainage.hpp"
#include "grid.hpp"
#include "parent_network.hpp"
#include "preset.hpp"
#include "terrain.hpp"

namespace {

using namespace sb;

Grid<float> from_rows(const std::vector<std::vector<float>>& rows_north_first) {
  const int ny = static_cast<int>(rows_north_first.size());
  const int nx = static_cast<int>(rows_north_first[0].size());
  Grid<float> g(nx, ny, 0.0f);
  for (int r = 0; r < ny; ++r) {
    for (int i = 0; i < nx; ++i) g.at(i, ny - 1 - r) = rows_north_first[static_cast<std::size_t>(r)][static_cast<std::size_t>(i)];
  }
  return g;
}

Grid<std::uint8_t> edge_outlets(const Grid<float>& h) {
  Grid<std::uint8_t> o(h.nx, h.ny, 0);
  for (int j = 0; j < h.ny; ++j) {
    for (int i = 0; i < h.nx; ++i) o.at(i, j) = h.on_edge(i, j);
  }
  return o;
}

// Every cell that is not an outlet has a strictly lower neighbour.
void expect_drains(const Grid<float>& filled, const Grid<std::uint8_t>& outlet) {
  for (int j = 0; j < filled.ny; ++j) {
    for (int i = 0; i < filled.nx; ++i) {
      if (outlet.at(i, j)) continue;
      bool lower = false;
      for (int d = 0; d < 8; ++d) {
        if (filled.inside(i + kDi[d], j + kDj[d]) && filled.at(i + kDi[d], j + kDj[d]) < filled.at(i, j)) lower = true;
      }
      EXPECT_TRUE(lower) << i << " " << j;
    }
  }
}

TEST(SampleBasinDrainage, FillRaisesPitsAndFlatsJustEnoughToDrain) {
  const Grid<float> h = from_rows({{9, 9, 9, 9, 9, 9, 9},
                                   {9, 5, 5, 5, 5, 5, 9},
                                   {9, 5, 1, 5, 3, 5, 9},
                                   {9, 5, 5, 5, 3, 5, 9},
                                   {9, 5, 5, 5, 5, 5, 2},
                                   {9, 5, 5, 5, 5, 5, 9},
                                   {9, 9, 9, 9, 9, 9, 9}});
  const Grid<std::uint8_t> outlet = edge_outlets(h);
  const Grid<float> filled = fill_depressions(h, outlet);
  for (std::size_t k = 0; k < h.size(); ++k) EXPECT_GE(filled[k], h[k]);
  expect_drains(filled, outlet);
  // The pit and the plateau rise to the spill level (5) and barely above.
  EXPECT_GE(filled.at(2, 4), 5.0f);
  EXPECT_LT(filled.at(2, 4), 5.01f);
  EXPECT_EQ(filled.at(0, 0), 9.0f);  // outlets keep their height
}

TEST(SampleBasinDrainage, DirectionsFormATreeDownToTheEdgeAndTheSea) {
  Preset p = *find_preset("small");
  const TerrainModel terrain(p, 3);
  Grid<float> raw = sample_terrain(terrain, 60, 50, 0.0, 0.0, 1.0);
  const Surface s = derive_surface(raw, LakeRule{});
  ASSERT_EQ(s.order.size(), s.dir.size());
  std::vector<std::size_t> position(s.dir.size());
  for (std::size_t n = 0; n < s.order.size(); ++n) position[static_cast<std::size_t>(s.order[n])] = n;
  int sea = 0, lakes = 0;
  for (int j = 0; j < s.dir.ny; ++j) {
    for (int i = 0; i < s.dir.nx; ++i) {
      const std::size_t k = s.dir.index(i, j);
      ASSERT_LT(s.dir[k], 8);
      sea += s.water[k] == kSea;
      lakes += s.water[k] == kLake;
      const std::int64_t d = downstream(s.dir, k);
      if (s.dir.on_edge(i, j)) {
        EXPECT_EQ(d, -1) << "edge cells drain off the grid";
        continue;
      }
      ASSERT_GE(d, 0);
      EXPECT_LT(position[k], position[static_cast<std::size_t>(d)]) << "upstream first";
      if (s.water[k] == kSea) {
        EXPECT_EQ(s.water[static_cast<std::size_t>(d)], kSea);
        EXPECT_EQ(s.height[k], 0.0f);
      }
    }
  }
  EXPECT_GT(sea, 0);
  EXPECT_GT(lakes, 0);
  // Land accumulation: every land cell counts once where its water stops.
  const Grid<std::int32_t> acc = accumulate(s);
  std::int64_t stopped = 0, land = 0;
  for (std::size_t k = 0; k < acc.size(); ++k) {
    if (s.water[k] == kSea) continue;
    ++land;
    const std::int64_t d = downstream(s.dir, k);
    if (d < 0 || s.water[static_cast<std::size_t>(d)] == kSea) stopped += acc[k];
  }
  EXPECT_EQ(stopped, land);
}

TEST(SampleBasinDrainage, StrahlerOrdersGrowOnlyWhereEqualOrdersMeet) {
  // A channel tree on a 5 x 5 grid (rows from the south): two heads meet
  // at (2, 2), a third joins further down at (2, 1), all drain south off (2, 0).
  Surface s;
  s.dir = Grid<std::uint8_t>(5, 5, 2);  // everything south
  s.water = Grid<std::uint8_t>(5, 5, kLand);
  s.dir.at(1, 3) = 1;                   // south-east to (2, 2)
  s.dir.at(3, 3) = 3;                   // south-west to (2, 2)
  s.dir.at(3, 1) = 4;                   // west to (2, 1)
  s.order = upstream_first(s.dir);
  Grid<std::uint8_t> channel(5, 5, 0);
  for (auto [i, j] : {std::pair{1, 3}, {3, 3}, {2, 2}, {2, 1}, {2, 0}, {3, 1}}) channel.at(i, j) = 1;
  Grid<std::uint8_t> inflow(5, 5, 0);
  Grid<std::uint8_t> order = strahler(s, channel, &inflow);
  EXPECT_EQ(order.at(1, 3), 1);
  EXPECT_EQ(order.at(2, 2), 2);
  EXPECT_EQ(order.at(3, 1), 1);
  EXPECT_EQ(order.at(2, 1), 2);  // a 2 and a 1 stay 2
  EXPECT_EQ(order.at(0, 0), 0);  // not a channel
  // A river of order 2 entering from outside at (3, 1) lifts the confluence.
  inflow.at(3, 1) = 2;
  order = strahler(s, channel, &inflow);
  EXPECT_EQ(order.at(3, 1), 2);
  EXPECT_EQ(order.at(2, 1), 3);
  EXPECT_EQ(order.at(2, 0), 3);
}

TEST(SampleBasinDrainage, BoundaryNodesComeInTheMappingBuildersOrder) {
  ChildGrid c;
  c.dir = Grid<std::uint8_t>(4, 3, 0);
  c.channel = Grid<std::uint8_t>(4, 3, 1);
  c.dir.at(1, 0) = 6;  // south edge, flowing north: a node
  c.dir.at(2, 0) = 2;  // south edge, flowing south: not
  c.dir.at(0, 0) = 0;  // corner flowing east: judged by the south pass only
  c.dir.at(3, 2) = 3;  // north edge, south-west: a node
  c.dir.at(0, 1) = 7;  // west edge, north-east: a node
  c.dir.at(3, 1) = 4;  // east edge, west: a node
  c.channel.at(3, 1) = 1;
  const std::vector<BoundaryNode> nodes = boundary_nodes(c);
  ASSERT_EQ(nodes.size(), 4u);
  EXPECT_EQ(std::pair(nodes[0].i, nodes[0].j), std::pair(1, 0));
  EXPECT_EQ(std::pair(nodes[1].i, nodes[1].j), std::pair(3, 2));
  EXPECT_EQ(std::pair(nodes[2].i, nodes[2].j), std::pair(0, 1));
  EXPECT_EQ(std::pair(nodes[3].i, nodes[3].j), std::pair(3, 1));
  c.channel.at(1, 0) = 0;
  EXPECT_EQ(boundary_nodes(c).size(), 3u);
}

TEST(SampleBasinParentNetwork, LinksAreShortOrderedDownstreamAndTileTheLand) {
  Preset p = *find_preset("small");
  const TerrainModel terrain(p, 5);
  ParentNetwork net = build_parent_network(
      derive_surface(sample_terrain(terrain, p.parent_nx, p.parent_ny, 0.0, 0.0, 1.0), LakeRule{}), p, 5);
  ASSERT_GT(net.links.size(), 50u);
  std::vector<int> cells(net.links.size(), 0);
  std::set<std::int32_t> ids;
  for (std::size_t k = 0; k < net.channel.size(); ++k) {
    if (net.channel[k]) ++cells[static_cast<std::size_t>(net.catchment[k])];
    if (net.surface.water[k] != kSea && net.catchment[k] < 0) {
      // Only cells whose water leaves the grid or reaches the sea before any channel.
      EXPECT_FALSE(net.channel[k]);
    }
  }
  for (std::size_t l = 0; l < net.links.size(); ++l) {
    const Link& link = net.links[l];
    ids.insert(link.id);
    EXPECT_GE(cells[l], 1);
    EXPECT_LE(cells[l], std::ceil(p.link_cells));
    if (link.to >= 0) {
      EXPECT_GE(net.links[static_cast<std::size_t>(link.to)].order, link.order);
    }
    double sum = 0;
    for (std::int64_t r = net.first[l]; r < net.first[l + 1]; ++r) sum += net.overlaps[static_cast<std::size_t>(r)].weight;
    EXPECT_NEAR(sum, 1.0, 1e-12);
  }
  EXPECT_EQ(ids.size(), net.links.size());
  const Window w = choose_window(net, p);
  mark_irregular_links(net, w, 5);
  int missing = 0, doubled = 0;
  for (const Link& l : net.links) {
    missing += !l.listed;
    doubled += l.doubled;
  }
  EXPECT_EQ(missing, 3);
  EXPECT_EQ(doubled, 2);
  EXPECT_EQ(route_link_entries(net).size(), net.links.size() - 3 + 2);
}

}  // namespace

namespace {

TEST(SampleBasinMaths, AgreesWithTheLibraryToAFewUnitsInTheLastPlace) {
  auto close = [](double a, double b) { return std::fabs(a - b) <= 4e-16 * std::max(1.0, std::fabs(b)); };
  for (double x : {1e-300, 1e-5, 0.3, 0.7071, 1.0, 1.5, 2.0, 10.0, 12345.678, 1e300}) {
    EXPECT_TRUE(close(sb::det_log(x), std::log(x))) << x;
  }
  for (double x : {-700.0, -20.0, -1.0, -1e-9, 0.0, 0.5, 1.0, 3.3, 88.0, 700.0}) {
    EXPECT_NEAR(sb::det_exp(x) / std::exp(x), 1.0, 1e-15) << x;
  }
  EXPECT_NEAR(sb::det_pow(2.0, -0.8), std::pow(2.0, -0.8), 3e-16);
  EXPECT_EQ(sb::det_log(0.0), -std::numeric_limits<double>::infinity());
  EXPECT_TRUE(std::isnan(sb::det_log(-1.0)));
  for (double turns = -2.0; turns <= 2.0; turns += 0.0371) {
    double s = 0, c = 0;
    sb::det_sincos_turns(turns, s, c);
    // The library's argument carries the rounding of turns * 2 pi (a few
    // 1e-15 at two turns); the reduction in turns has none.
    EXPECT_NEAR(s, std::sin(turns * 2.0 * M_PI), 5e-15) << turns;
    EXPECT_NEAR(c, std::cos(turns * 2.0 * M_PI), 5e-15) << turns;
  }
  double s = 1, c = 1;
  sb::det_sincos_turns(0.25, s, c);
  EXPECT_EQ(s, 1.0);
  EXPECT_EQ(c, 0.0);
}

}  // namespace
