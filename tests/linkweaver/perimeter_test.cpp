// The child ring, boundary nodes, parent window, cell placement and the
// parent-cell index.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "child_grid.hpp"
#include "fixtures.hpp"
#include "parent_network.hpp"
#include "perimeter.hpp"

namespace rn::linkweaver::test {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

// Cylindrical equidistant, 1-degree cells, parent cell (1, 1) at (0, 0):
// x = lon + 1, y = lat + 1.
ParentProjection plain_projection() {
  NestingConfig config;
  config.mapproject = "CE";
  config.dxkm = 1.0f;
  return ParentProjection(config, 0.0f, 0.0f);
}

ChildGrid make_child(int ixrt, int jxrt) {
  ChildGrid c;
  c.ring = Ring(ixrt, jxrt);
  c.latitude.values.assign(c.ring.size(), 0.0f);
  c.longitude.values.assign(c.ring.size(), 0.0f);
  return c;
}

TEST(Ring, EveryRingCellHasItsOwnPosition) {
  for (auto [ix, jx] : {std::pair{1, 1}, {1, 5}, {5, 1}, {2, 2}, {4, 3}, {7, 7}}) {
    const Ring ring(ix, jx);
    std::set<std::size_t> positions;
    std::size_t cells = 0;
    for (int j = 1; j <= jx; ++j) {
      for (int i = 1; i <= ix; ++i) {
        if (i != 1 && i != ix && j != 1 && j != jx) continue;
        ++cells;
        positions.insert(ring.index(i, j));
      }
    }
    EXPECT_EQ(positions.size(), cells) << ix << " x " << jx;
    EXPECT_EQ(ring.size(), cells);
    EXPECT_LT(*positions.rbegin(), ring.size());
  }
}

TEST(Placement, HalvesRoundUpAndNonFiniteCoordinatesStayOffTheGrid) {
  const ParentProjection p = plain_projection();
  auto column = [&](float lon) {
    std::int32_t i = 0, j = 0;
    parent_cell_of(p, 0.0f, lon, i, j);
    return i;
  };
  EXPECT_EQ(column(2.49f), 3);   // x = 3.49
  EXPECT_EQ(column(2.5f), 4);    // x = 3.5
  EXPECT_EQ(column(-1.7f), 0);   // x = -0.7: truncation of -0.2
  EXPECT_EQ(column(-2.7f), -1);  // x = -1.7
  EXPECT_EQ(column(std::nanf("")), kMin);
  for (float v : {3.0e9f, -3.0e9f, INFINITY, -2147483648.0f}) EXPECT_EQ(truncate_to_int(v), kMin);
  EXPECT_EQ(truncate_to_int(2147483520.0f), 2147483520);
}

TEST(Placement, ACellOutsideTheWindowIsReturnedNotAnEnd) {
  // Every cell of a 2 by 2 grid at (0, 0): parent cell (1, 1).
  ChildGrid child = make_child(2, 2);
  child.streamorder.values.assign(child.ring.size(), 1);
  PerimeterMatch match;
  match.istart = match.jstart = 1;
  match.iend = match.jend = 1;
  Placement placed = Placement::outside_window;
  Ending e = ending_of([&] { placed = place_perimeter(plain_projection(), child, match); });
  EXPECT_FALSE(e.ended);
  EXPECT_EQ(placed, Placement::inside);
  EXPECT_EQ(match.gridNum, 4);
  match.iend = 0;  // the window no longer holds parent column 1
  e = ending_of([&] { placed = place_perimeter(plain_projection(), child, match); });
  EXPECT_FALSE(e.ended);
  EXPECT_EQ(e.out, "");
  EXPECT_EQ(placed, Placement::outside_window);
}

TEST(ParentWindow, TwoCellsOfMarginTruncated) {
  ChildGrid child = make_child(3, 3);
  auto put = [&](int i, int j, float x, float y) {
    child.longitude.at(child.ring, i, j) = x - 1.0f;
    child.latitude.at(child.ring, i, j) = y - 1.0f;
  };
  put(1, 1, 10.25f, 5.0f);
  put(1, 3, 11.0f, 30.0f);
  put(3, 3, 20.75f, 30.5f);
  put(3, 1, 19.0f, 4.25f);
  PerimeterMatch match;
  parent_window(plain_projection(), child, match);
  EXPECT_EQ(match.istart, 8);  // T(8.25)
  EXPECT_EQ(match.iend, 22);   // T(22.75)
  EXPECT_EQ(match.jstart, 2);  // T(2.25), from cell (3, 1)
  EXPECT_EQ(match.jend, 32);   // T(32.5)
  put(1, 3, 1.5f, 30.0f);
  parent_window(plain_projection(), child, match);
  EXPECT_EQ(match.istart, 0);  // T(-0.5)
  put(3, 1, std::nanf(""), 4.0f);
  const Ending e = ending_of([&] { parent_window(plain_projection(), child, match); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In init_child() - corner cell (3, 1) of the child grid has no place on "
                    "the parent grid");
}

TEST(BoundaryNodes, InwardCodesPerEdgeCornersAndFlowinOut) {
  ChildGrid child = make_child(4, 4);
  RingField<std::int32_t> channel{std::vector<std::int32_t>(child.ring.size(), 0)};
  RingField<std::int32_t> flow{std::vector<std::int32_t>(child.ring.size(), 0)};
  struct Case {
    int i, j, flow, node;  // node number expected, 0 for none
  };
  const Case cases[] = {
      {1, 1, 1, 0},  // a corner is judged by the south pass only
      {2, 1, 64, 1}, {3, 1, 4, 0},  {4, 1, 32, 2},  {1, 4, 2, 3},  {2, 4, 64, 0},
      {3, 4, 4, 4},  {4, 4, 16, 0}, {1, 2, 128, 5}, {1, 3, 16, 0}, {4, 2, 8, 6}, {4, 3, 1, 0},
  };
  for (const Case& c : cases) flow.at(child.ring, c.i, c.j) = c.flow;
  find_boundary_nodes(child, channel, flow, false);
  for (const Case& c : cases) {
    EXPECT_EQ(child.nodeIndex.at(child.ring, c.i, c.j), c.node ? c.node : kNoNode) << c.i << c.j;
  }
  EXPECT_EQ(child.nodeNum, 6);

  // Every edge channel cell with flowin_out; -1 is a channel, -2 is not.
  channel.at(child.ring, 3, 1) = -1;
  channel.at(child.ring, 4, 3) = -2;
  find_boundary_nodes(child, channel, flow, true);
  EXPECT_EQ(child.nodeNum, 11);
  EXPECT_EQ(child.nodeIndex.at(child.ring, 4, 3), kNoNode);

  ChildGrid flat = make_child(3, 2);  // two rows: no west or east pass
  find_boundary_nodes(flat, RingField<std::int32_t>{std::vector<std::int32_t>(6, 0)},
                      RingField<std::int32_t>{std::vector<std::int32_t>(6, 1)}, true);
  EXPECT_EQ(flat.nodeNum, 6);
}

TEST(ParentCellIndex, DenseAndSparseFormsAgreeWithAScan) {
  std::mt19937 rng(7);
  for (const bool spread : {false, true}) {
    std::vector<std::int32_t> pi, pj;
    std::uniform_int_distribution<std::int32_t> near(-3, 6);
    for (int n = 0; n < 300; ++n) {
      pi.push_back(near(rng));
      pj.push_back(near(rng));
    }
    if (spread) {  // a bounding box far too large for a dense table
      pi.push_back(std::numeric_limits<std::int32_t>::max());
      pj.push_back(kMin);
    }
    const ParentCellIndex index(pi, pj);
    for (std::int32_t ii = -5; ii <= 8; ++ii) {
      for (std::int32_t jj = -5; jj <= 8; ++jj) {
        std::vector<std::int32_t> expected;
        for (std::size_t n = 0; n < pi.size(); ++n) {
          if (pi[n] == ii && pj[n] == jj) expected.push_back(static_cast<std::int32_t>(n + 1));
        }
        const auto cells = index.cells(ii, jj);
        EXPECT_EQ(std::vector<std::int32_t>(cells.begin(), cells.end()), expected);
      }
    }
    EXPECT_TRUE(index.cells(kMin, 0).empty());
    EXPECT_EQ(index.cells(std::numeric_limits<std::int32_t>::max(), kMin).size(), spread ? 1u : 0u);
  }
}

}  // namespace
}  // namespace rn::linkweaver::test
