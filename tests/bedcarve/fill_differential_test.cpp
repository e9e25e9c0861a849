// The fast fill against the plain repeated search on many random grids and
// on small grids of the benchmark's three kinds of terrain: heights bit for
// bit, standard output byte for byte, the same ending.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "grids.hpp"
#include "reference_fill.hpp"
#include "terrain_gen.hpp"
#include "test_support.hpp"

namespace rn::bedcarve::test {
namespace {

// Index of the first height that differs in its bits, or -1.
long first_difference(const std::vector<float>& a, const std::vector<float>& b) {
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (std::memcmp(&a[k], &b[k], sizeof(float)) != 0) return static_cast<long>(k);
  }
  return -1;
}

/// Checks the fast fill of `g` against the plain search; returns its counts.
FillCounts expect_same(const Grid& g, std::uint32_t seed, const FillTuning& tuning = {}) {
  const Outcome want = run_fill(g, reference_fill);
  FillCounts counts;
  const Outcome got =
      run_fill(g, [&](std::span<float> h, std::span<const std::int32_t> c, std::int32_t ix,
                      std::int32_t jx) { counts = program_fill(h, c, ix, jx, tuning); });
  SCOPED_TRACE("seed " + std::to_string(seed) + " kind " + g.kind + " " +
               std::to_string(g.ix) + "x" + std::to_string(g.jx));
  EXPECT_EQ(got.stop, want.stop);
  EXPECT_EQ(got.status, want.status);
  EXPECT_EQ(got.out, want.out);
  if (want.stop.empty()) {
    const long k = first_difference(got.height, want.height);
    EXPECT_EQ(k, -1) << "cell " << k << ": " << rn::test::bits_of(got.height[k]) << " vs "
                     << rn::test::bits_of(want.height[k]);
  }
  return counts;
}

/// A generated grid of the benchmark's terrain as the tests hand it over.
Grid generated(rn::bench::TerrainKind kind, std::int32_t ix, std::int32_t jx,
               std::uint64_t seed) {
  rn::bench::Terrain t = rn::bench::make_terrain(kind, ix, jx, seed);
  Grid g;
  g.ix = t.ix;
  g.jx = t.jx;
  g.height = std::move(t.height);
  g.channel = std::move(t.channel);
  g.kind = rn::bench::kind_name(kind);
  return g;
}

TEST(FillDifferential, RandomGridsMatchThePlainSearch) {
  for (std::uint32_t seed = 1; seed <= 4000; ++seed) {
    expect_same(random_grid(seed), seed);
    if (HasFailure()) return;
  }
}

// Junction lists kept short: the classes are walked through chains of
// junctions instead of flat lists.
TEST(FillDifferential, ShortJunctionListsGiveTheSameResult) {
  FillTuning tuning;
  tuning.flat_list = 2;
  for (std::uint32_t seed = 1; seed <= 1500; ++seed) {
    expect_same(random_grid(seed), seed, tuning);
    if (HasFailure()) return;
  }
}

// Cells, lakes and classes numbered with 64-bit integers, as for grids of
// 2^31 cells and more.
TEST(FillDifferential, WideIndicesGiveTheSameResult) {
  FillTuning tuning;
  tuning.wide_index = true;
  for (std::uint32_t seed = 1; seed <= 1000; ++seed) {
    expect_same(random_grid(seed), seed, tuning);
    if (HasFailure()) return;
  }
}

// Rough relief down to the cell scale and heights stored to 0.1 m (flats,
// terraces, nested pits) give start cells that share basins, start cells
// given up after 100 fills and lakes merged long after they spilled: the
// paths that smooth terrain rarely takes.  Each case also runs with short
// junction lists and with 64-bit cell numbers.
TEST(FillDifferential, GeneratedTerrainOfEveryKindMatchesThePlainSearch) {
  struct Case {
    rn::bench::TerrainKind kind;
    std::int32_t ix, jx;
  };
  const Case cases[] = {{rn::bench::TerrainKind::smooth, 70, 60},
                        {rn::bench::TerrainKind::rough, 64, 64},
                        {rn::bench::TerrainKind::rough, 100, 100},
                        {rn::bench::TerrainKind::real, 80, 72},
                        {rn::bench::TerrainKind::real, 120, 40}};
  FillTuning short_lists, wide;
  short_lists.flat_list = 2;
  wide.wide_index = true;
  for (const Case& c : cases) {
    std::int64_t fills = 0, capped = 0;
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
      const Grid g = generated(c.kind, c.ix, c.jx, seed);
      const FillCounts counts = expect_same(g, seed);
      fills += counts.fills;
      capped += counts.capped;
      if (seed <= 3) {
        expect_same(g, seed, short_lists);
        expect_same(g, seed, wide);
      }
      if (HasFailure()) return;
    }
    // The grids do what they are here for.
    EXPECT_GT(fills, 100) << rn::bench::kind_name(c.kind);
    if (c.kind != rn::bench::TerrainKind::smooth) {
      EXPECT_GT(capped, 0) << rn::bench::kind_name(c.kind);
    }
  }
}

// A grid of more than two million cells, where the state bytes and tags are
// kept in huge pages, with pits in its first and last interior cells: a
// tilted plane (each cell drains in a step, so the plain search stays
// quick) holding one-cell pits, a walled bowl whose whole rim lies at one
// height (many rim candidates at one height), and a second bowl inside a
// wider one, which takes fills from several start cells.
TEST(FillDifferential, GridOfMillionsOfCellsWithPitsAtBothEndsMatchesThePlainSearch) {
  Grid g;
  g.ix = 1500;
  g.jx = 1450;  // 2.175 M cells: the tags alone take 8.7 MB
  g.kind = "tilted plane with pits";
  const std::size_t n = static_cast<std::size_t>(g.ix) * g.jx;
  g.height.resize(n);
  g.channel.assign(n, -999);
  auto at = [&](std::int32_t i, std::int32_t j) -> float& {
    return g.height[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * g.ix];
  };
  for (std::int32_t j = 0; j < g.jx; ++j) {
    for (std::int32_t i = 0; i < g.ix; ++i) at(i, j) = 0.5f * i + 0.25f * j;
  }
  // A bowl of side `side` whose wall stands at `wall`, floor at `floor`.
  auto bowl = [&](std::int32_t i0, std::int32_t j0, std::int32_t side, float wall, float floor) {
    for (std::int32_t j = j0; j < j0 + side; ++j) {
      for (std::int32_t i = i0; i < i0 + side; ++i) {
        const bool edge = i == i0 || j == j0 || i == i0 + side - 1 || j == j0 + side - 1;
        at(i, j) = edge ? wall : floor + 0.1f * static_cast<float>((i * 7 + j * 3) % 5);
      }
    }
  };
  at(1, 1) = -3.0f;                              // the first interior cell
  at(g.ix - 2, g.jx - 2) = -2.0f;                // the last one
  bowl(g.ix - 40, g.jx - 40, 30, 1000.0f, 900.0f);
  bowl(5, 5, 20, 40.0f, 20.0f);
  bowl(9, 9, 8, 30.0f, 25.0f);                   // inside the one above
  bowl(g.ix / 2, g.jx / 2, 12, 1200.0f, 1100.0f);
  const FillCounts counts = expect_same(g, 0);
  EXPECT_GT(counts.fills, 10);
}

}  // namespace
}  // namespace rn::bedcarve::test
