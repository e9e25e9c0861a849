// The interpolation kernel, the 16-point interpolation and the humidity.
#include "interpolation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "text_record.hpp"

namespace {

using rn::siteseries::interpolate_at;
using rn::siteseries::humidity;
using rn::siteseries::kMissingValue;
using rn::siteseries::blend_parabolas;

using rn::siteseries::FieldGrid;

// An ix by jy field F(i, j) = f(i, j), held in storage of exactly that size
// so that the sanitizers catch any read beside it.
template <typename F>
FieldGrid field(int ix, int jy, F f) {
  FieldGrid g(static_cast<std::size_t>(ix), static_cast<std::size_t>(jy));
  for (int j = 1; j <= jy; ++j) {
    for (int i = 1; i <= ix; ++i) g(i - 1, j - 1) = f(i, j);
  }
  return g;
}

std::string fixed(float value, int decimals) {
  char buf[16];
  return std::string(buf, rn::put_fixed_field(buf, value, 12, decimals));
}

TEST(BlendParabolas, KernelValuesAndShortcuts) {
  EXPECT_EQ(blend_parabolas(0.5f, 0, 1, 2, 3), 1.5f);
  EXPECT_EQ(blend_parabolas(0.5f, 1, 0, 1, 4), 0.25f);
  // Within 0.00001 of either end the inner sample is taken as it is, so the
  // outer samples (here huge or NaN) never count.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(blend_parabolas(0.000005f, nan, 7.0f, 1e30f, nan), 7.0f);
  EXPECT_EQ(blend_parabolas(0.0f, nan, -3.0f, nan, nan), -3.0f);
  EXPECT_EQ(blend_parabolas(0.999995f, nan, 1e30f, 9.0f, nan), 9.0f);
  // Quadratic samples t^2 at -1, 0, 1, 2 are reproduced between 0 and 1.
  EXPECT_FLOAT_EQ(blend_parabolas(0.25f, 1, 0, 1, 4), 0.0625f);
}

TEST(InterpolateAt, ReproducesQuadraticDataAndTakesGridPointsExactly) {
  const int ix = 9, jy = 8;
  const auto f = [](float i, float j) { return 0.5f * i * i - 2.0f * j * j + 3.0f * i + j + 1.0f; };
  const FieldGrid grid = field(ix, jy, [&](int i, int j) { return f(i, j); });
  for (const auto& [x, y] : std::vector<std::pair<float, float>>{
           {2.0f, 2.0f}, {3.5f, 4.25f}, {7.9f, 6.1f}, {5.0f, 2.75f}, {2.3f, 7.0f}}) {
    EXPECT_NEAR(interpolate_at(grid, x, y), f(x, y), 1e-3f) << x << " " << y;
  }
  // A site on a grid point gets the stored value itself.
  EXPECT_EQ(interpolate_at(grid, 2.0f, 2.0f), grid[1 * ix + 1]);
  EXPECT_EQ(interpolate_at(grid, 4.0f, 6.0f), grid[5 * ix + 3]);
}

TEST(InterpolateAt, LastButOnePointsGiveTheInnerValueWithoutReadingPastTheGrid) {
  const int ix = 6, jy = 5;
  const FieldGrid grid = field(ix, jy, [](int i, int j) { return 10.0f * j + i; });
  // x = ix - 1 and y = jy - 1 pass the bounds test; the block would reach
  // column ix + 1 and row jy + 1, which are not read.
  EXPECT_EQ(interpolate_at(grid, 5.0f, 3.0f), 35.0f);
  EXPECT_EQ(interpolate_at(grid, 3.0f, 4.0f), 43.0f);
  EXPECT_EQ(interpolate_at(grid, 5.0f, 4.0f), 45.0f);
  EXPECT_NEAR(interpolate_at(grid, 4.5f, 4.0f), 44.5f, 1e-5f);
}

TEST(InterpolateAt, PositionsOutsideTheInteriorGiveTheMissingValue) {
  const int ix = 6, jy = 5;
  const FieldGrid grid = field(ix, jy, [](int i, int j) { return 1.0f * i * j; });
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  for (const auto& [x, y] : std::vector<std::pair<float, float>>{{1.5f, 3.0f},
                                                                 {3.0f, 1.99f},
                                                                 {5.01f, 3.0f},
                                                                 {3.0f, 4.5f},
                                                                 {nan, 3.0f},
                                                                 {3.0f, nan},
                                                                 {inf, 3.0f},
                                                                 {-inf, -inf}}) {
    EXPECT_EQ(interpolate_at(grid, x, y), kMissingValue) << x << " " << y;
  }
  // Grids too small for any interior position.
  EXPECT_EQ(interpolate_at(FieldGrid(2, 2, 1.0f), 2.0f, 2.0f), kMissingValue);
  EXPECT_EQ(interpolate_at(FieldGrid(), 2.0f, 2.0f), kMissingValue);
  // The missing value does not fit the 12-character field.
  EXPECT_EQ(fixed(kMissingValue, 6), "************");
}

TEST(Humidity, SaturationAtTheReferenceTemperature) {
  // T 273.5 gives e = 1 and E = 6.11; Q 0.00611 is then saturation.
  EXPECT_EQ(fixed(humidity(273.5f, 0.00611f), 1), "       100.0");
  // Interpolated missing values give asterisks in the humidity column too.
  EXPECT_EQ(fixed(humidity(kMissingValue, kMissingValue), 1), "************");
}

}  // namespace
