// The fill on hand-made grids: what each kind of terrain must give.  Every
// case is also checked against the plain repeated search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fill_record_writer.hpp"
#include "grids.hpp"
#include "program_end.hpp"
#include "reference_fill.hpp"
#include "text_record.hpp"

namespace rn::bedcarve::test {
namespace {

struct Fill : Outcome {
  FillCounts counts;
};

/// Runs the fast fill and checks it against the plain search.
Fill checked(const Grid& g, bool against_reference = true) {
  Fill got;
  static_cast<Outcome&>(got) =
      run_fill(g, [&](std::span<float> h, std::span<const std::int32_t> c, std::int32_t ix,
                      std::int32_t jx) { got.counts = program_fill(h, c, ix, jx); });
  if (!against_reference) return got;
  const Outcome want = run_fill(g, reference_fill);
  EXPECT_EQ(got.out, want.out);
  EXPECT_EQ(got.stop, want.stop);
  EXPECT_EQ(got.status, want.status);
  if (want.stop.empty()) {  // after a stop no heights are written
    EXPECT_EQ(0, std::memcmp(got.height.data(), want.height.data(), got.height.size() * 4));
  }
  return got;
}

float at(const Fill& o, const Grid& g, int i, int j) {
  return o.height[static_cast<std::size_t>((i - 1) + (j - 1) * g.ix)];
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> v;
  std::size_t b = 0;
  for (std::size_t e; (e = text.find('\n', b)) != std::string::npos; b = e + 1) {
    v.push_back(text.substr(b, e - b));
  }
  return v;
}

TEST(FillCases, OneCellPitIsRaisedToItsLowestNeighbourThenDrains) {
  const Grid g = grid_from_rows({{9, 9, 9}, {6, 1, 7}, {9, 5.5f, 9}});
  const Fill o = checked(g);
  // The record pair of one fill: same i, j and minv; the start cell's height
  // before and after.
  EXPECT_EQ(o.out,
            " step 5           2           2   5.50000000       1.00000000    \n"
            " step 6           2           2   5.50000000       5.50000000    \n");
  EXPECT_EQ(at(o, g, 2, 2), 5.5f);
  EXPECT_EQ(o.counts.fills, 1);
}

TEST(FillCases, RingAndWaterCellsAreNeverRaisedAndAlwaysDrain) {
  // A low ring cell and a low water cell: the land next to them drains
  // through them; the one closed pit is filled; ring and water keep their
  // heights.
  Grid g = grid_from_rows({{9, 9, 9, 9, 9, 9},
                           {9, 3, 9, 9, 9, 9},
                           {9, 9, 9, 2, 0, 9},
                           {-5, 9, 9, 9, 9, 9}});
  g.channel[static_cast<std::size_t>(4 + 2 * 6)] = 1;  // (5, 3) water
  const Fill o = checked(g);
  EXPECT_EQ(at(o, g, 1, 4), -5.0f);
  EXPECT_EQ(at(o, g, 5, 3), 0.0f);  // water, not raised
  EXPECT_EQ(at(o, g, 4, 3), 2.0f);  // drains into the water cell
  EXPECT_EQ(at(o, g, 2, 2), 9.0f);  // a pit, filled to its rim
  EXPECT_EQ(lines(o.out).size(), 2u);
}

TEST(FillCases, FlatGroundIsCrossedAndAllDrainingGridIsUnchanged) {
  // A plateau whose only way out is one low ring cell, a ridge, a slope:
  // every land cell already drains.
  const Grid g = grid_from_rows({{4, 4, 4, 4, 4, 4},
                                 {4, 2, 2, 2, 2, 4},
                                 {4, 2, 2, 2, 2, 1},
                                 {4, 2, 2, 2, 2, 4},
                                 {4, 4, 4, 4, 4, 4}});
  const Fill o = checked(g);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.height, g.height);
  EXPECT_EQ(o.counts.fills, 0);
}

TEST(FillCases, NestedPitTakesSeveralFillsFromOneStartCell) {
  // A pit inside a wider basin: each fill raises the lowest flat of the
  // search set to the next height above it.
  const Grid g = grid_from_rows({{9, 9, 9, 9, 9, 9, 9},
                                 {9, 5, 5, 5, 5, 5, 9},
                                 {9, 5, 3, 3, 3, 5, 9},
                                 {9, 5, 3, 1, 3, 5, 9},
                                 {9, 5, 3, 3, 3, 5, 9},
                                 {9, 5, 5, 5, 5, 5, 9},
                                 {9, 9, 9, 9, 9, 9, 8}});
  const Fill o = checked(g);
  const auto v = lines(o.out);
  // 1 -> 3, 3 -> 5, 5 -> 8 (the lowest ring cell on the rim), all from the
  // first start cell (2, 2), which is raised by the last fill only.
  ASSERT_EQ(v.size(), 6u);
  for (const auto& line : v) EXPECT_EQ(line.substr(7, 24), "           2           2");
  EXPECT_NE(v[1].find("3.00000000       5.00000000"), std::string::npos);
  EXPECT_NE(v[5].find("8.00000000       8.00000000"), std::string::npos);
  EXPECT_EQ(at(o, g, 4, 4), 8.0f);
}

TEST(FillCases, BasinThatNeedsMoreThanOneHundredFillsIsHandedOn) {
  // A bowl of 169 distinct heights around one low cell: the first start cell
  // gives up after 100 fills, the next one goes on.
  Grid g;
  g.ix = g.jx = 15;
  g.height.resize(225);
  g.channel.assign(225, -999);
  for (int j = 0; j < 15; ++j) {
    for (int i = 0; i < 15; ++i) {
      const float r = std::hypot(static_cast<float>(i - 7), static_cast<float>(j - 7));
      g.height[static_cast<std::size_t>(i + j * 15)] = r * 10.0f + static_cast<float>(i + 15 * j) * 0.001f;
    }
  }
  const Fill o = checked(g);
  const auto v = lines(o.out);
  ASSERT_GT(v.size(), 200u);
  // Records 1..200 are the first start cell's, record 201 another's.
  EXPECT_EQ(v[199].substr(0, 31), " step 6" + v[0].substr(7, 24));
  EXPECT_NE(v[200].substr(7, 24), v[0].substr(7, 24));
  EXPECT_GE(o.counts.capped, 1);
}

TEST(FillCases, StartCellsThatShareABasinGoOnWithItsFills) {
  // Two bowls of distinct heights joined by a saddle, a few one-cell pits on
  // their walls, the ring above everything: the first start cells each make
  // 100 fills in the same basin, which grows into the second bowl; later
  // start cells reach the basin together with other pits, or only other
  // pits.  Records and heights are those of the plain search.
  Grid g;
  g.ix = 30;
  g.jx = 12;
  g.height.resize(360);
  g.channel.assign(360, -999);
  for (int j = 0; j < 12; ++j) {
    for (int i = 0; i < 30; ++i) {
      const float ra = std::hypot(static_cast<float>(i - 7), static_cast<float>(j - 6));
      const float rb = std::hypot(static_cast<float>(i - 22), static_cast<float>(j - 5));
      float h = std::min(10.0f * ra, 10.0f * rb + 5.0f) + static_cast<float>(i * 12 + j) * 0.001f;
      if ((i * 7 + j * 5) % 11 == 0) h -= 3.5f;  // one-cell pits on the walls
      if (i == 0 || j == 0 || i == 29 || j == 11) h = 500.0f;
      g.height[static_cast<std::size_t>(i + 30 * j)] = h;
    }
  }
  const Fill o = checked(g);
  EXPECT_GE(o.counts.capped, 2);
  EXPECT_GT(o.counts.start_cells, o.counts.capped);
  EXPECT_GT(o.counts.fills, 200);
}

TEST(FillCases, NaNHeightEndsWithTheBigMinvStop) {
  Grid g = grid_from_rows({{9, 9, 9, 9}, {9, 1, 9, 9}, {9, 9, 0, 9}, {9, 9, 9, 9}});
  g.height[static_cast<std::size_t>(2 + 2 * 4)] = std::numeric_limits<float>::quiet_NaN();
  const Fill o = checked(g);
  EXPECT_EQ(o.stop, "STOP wrong big minv for modify height");
  EXPECT_EQ(o.status, kFailure);
  EXPECT_EQ(lines(o.out).size(), 2u);  // the fill of (2, 2) came first
}

TEST(FillCases, FillHeightOfMinus999EndsWithTheSmallMinvStop) {
  const Grid g = grid_from_rows({{-999, -999, -999}, {-999, -2000, -999}, {-999, -999, -999}});
  const Fill o = checked(g);
  EXPECT_EQ(o.stop, "STOP wrong small minv for modify height");
  EXPECT_EQ(o.status, kFailure);
  EXPECT_EQ(o.out, "");
}

TEST(FillCases, BothZerosKeepTheBitsOfThePlainSearch) {
  // The lowest rim holds +0 and -0: the fill height takes the bits of the
  // one the plain search meets first.
  const Grid g = grid_from_rows({{5, 5, 5, 5, 5},
                                 {5, 0.0f, 5, -0.0f, 5},
                                 {5, 5, -1, 5, 5},
                                 {5, 5, 5, 5, 5}});
  checked(g);
}

TEST(FillCases, LongDescentThroughAMazeNeedsNoCallStack) {
  // A serpentine trough descending through the whole grid to one pit, walls
  // and ring above it: the search follows a path as long as the trough.
  const int n = 301;
  Grid g;
  g.ix = g.jx = n;
  g.height.assign(static_cast<std::size_t>(n) * n, 1e6f);
  g.channel.assign(g.height.size(), -999);
  for (int k = 0; k < n; ++k) {  // ring above the walls
    g.height[static_cast<std::size_t>(k)] = 2e6f;
    g.height[static_cast<std::size_t>(k + (n - 1) * n)] = 2e6f;
    g.height[static_cast<std::size_t>(k * n)] = 2e6f;
    g.height[static_cast<std::size_t>(n - 1 + k * n)] = 2e6f;
  }
  float h = 100000.0f;  // distinct floats all the way down, far above -999
  for (int j = 1; j < n - 1; j += 2) {
    const bool east = (j / 2) % 2 == 0;
    for (int s = 1; s < n - 1; ++s) {
      const int i = east ? s : n - 1 - s;
      g.height[static_cast<std::size_t>(i + j * n)] = h;
      h -= 0.25f;
    }
    if (j + 2 < n - 1) {  // the turn to the next trough row
      const int i = east ? n - 2 : 1;
      g.height[static_cast<std::size_t>(i + (j + 1) * n)] = h + 0.125f;
    }
  }
  const Fill o = checked(g, false);
  EXPECT_EQ(o.status, 0) << o.stop;
  // The trough fills one cell per fill, 100 fills per start cell: the cap
  // hands it on from start cell to start cell.
  EXPECT_GT(o.counts.fills, 20000);
  EXPECT_GT(o.counts.capped, 200);
  EXPECT_EQ(o.out.substr(0, 31), " step 5           2           2");
}

// Many more fills than the writer's buffers hold, handed over while earlier
// blocks are still being written: every record pair comes out once, in fill
// order, exactly as written one by one.
TEST(FillCases, RecordsOfManyFillsComeOutInFillOrder) {
  std::vector<FillRecord> fills;
  for (std::int32_t k = 0; k < 30011; ++k) {
    fills.push_back({k % 977 + 1, k / 977 + 1, static_cast<float>(k) * 0.37f - 50.0f,
                     static_cast<float>(-k), static_cast<float>(k) * 1e-3f});
  }
  std::string want, got;
  {
    CaptureStdout capture(&want);
    for (const FillRecord& f : fills) {
      out().record("step 5", f.i, f.j, f.minv, f.before);
      out().record("step 6", f.i, f.j, f.minv, f.after);
    }
    out().flush();
  }
  {
    CaptureStdout capture(&got);
    FillRecordWriter writer(out());
    for (const FillRecord& f : fills) writer.add(f);
    writer.finish();
    out().flush();
  }
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
}

}  // namespace
}  // namespace rn::bedcarve::test
