// The fast fill against the plain repeated search on many random grids:
// heights bit for bit, standard output byte for byte, the same ending.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "grids.hpp"
#include "reference_fill.hpp"
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

void expect_same(const Grid& g, std::uint32_t seed, const FillTuning& tuning = {}) {
  const Outcome want = run_fill(g, reference_fill);
  const Outcome got =
      run_fill(g, [&](std::span<float> h, std::span<const std::int32_t> c, std::int32_t ix,
                      std::int32_t jx) { program_fill(h, c, ix, jx, tuning); });
  SCOPED_TRACE("seed " + std::to_string(seed) + " kind " + g.kind + " " +
               std::to_string(g.ix) + "x" + std::to_string(g.jx));
  ASSERT_EQ(got.stop, want.stop);
  ASSERT_EQ(got.status, want.status);
  ASSERT_EQ(got.out, want.out);
  if (want.stop.empty()) {
    const long k = first_difference(got.height, want.height);
    ASSERT_EQ(k, -1) << "cell " << k << ": " << rn::test::bits_of(got.height[k]) << " vs "
                     << rn::test::bits_of(want.height[k]);
  }
}

TEST(FillDifferential, RandomGridsMatchThePlainSearch) {
  for (std::uint32_t seed = 1; seed <= 4000; ++seed) {
    expect_same(random_grid(seed), seed);
    if (HasFatalFailure()) return;
  }
}

// Junction lists kept short: the classes are walked through chains of
// junctions instead of flat lists.
TEST(FillDifferential, ShortJunctionListsGiveTheSameResult) {
  FillTuning tuning;
  tuning.flat_list = 2;
  for (std::uint32_t seed = 1; seed <= 1500; ++seed) {
    expect_same(random_grid(seed), seed, tuning);
    if (HasFatalFailure()) return;
  }
}

// Cells, lakes and classes numbered with 64-bit integers, as for grids of
// 2^31 cells and more.
TEST(FillDifferential, WideIndicesGiveTheSameResult) {
  FillTuning tuning;
  tuning.wide_index = true;
  for (std::uint32_t seed = 1; seed <= 1000; ++seed) {
    expect_same(random_grid(seed), seed, tuning);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace rn::bedcarve::test
