#include "interpolation.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace rn::siteseries {

float blend_parabolas(float t, float a, float b, float c, float d) {
  if (std::fabs(t) < 0.00001f) return b;
  if (std::fabs(t - 1.0f) < 0.00001f) return c;
  const float u = 1.0f - t;
  // Parabola through b, c, d at distance u from c towards b.
  const float p = ((0.5f * (d + b) - c) * u + 0.5f * (b - d)) * u + c;
  // Parabola through a, b, c at t from b.
  const float q = ((0.5f * (a + c) - b) * t + 0.5f * (c - a)) * t + b;
  return p * t + u * q;
}

// Below 2^31, so that a position truncates to a 32-bit index even where
// ix - 1 rounds up to 2^31 as a 32-bit real.
constexpr float kIndexLimit = 2147483648.0f;

bool interior(float x, float y, GridShape grid) {
  const auto ix = static_cast<std::int64_t>(grid.columns);
  const auto jy = static_cast<std::int64_t>(grid.rows);
  // Written so that a NaN position fails every test.
  return x >= 2.0f && y >= 2.0f && x <= static_cast<float>(ix - 1) &&
         y <= static_cast<float>(jy - 1) && x < kIndexLimit && y < kIndexLimit;
}

Stencil stencil(float y, std::size_t n) {
  const auto j0 = static_cast<std::int64_t>(y);
  const std::int64_t top = std::max<std::int64_t>(static_cast<std::int64_t>(n), 1);
  return {static_cast<std::int32_t>(std::clamp<std::int64_t>(j0 - 1, 1, top)),
          static_cast<std::int32_t>(std::clamp<std::int64_t>(j0 + 2, 1, top))};
}

float interpolate_at(const FieldGrid& field, float x, float y) {
  if (!interior(x, y, {field.columns(), field.rows()})) return kMissingValue;
  const auto ix = static_cast<std::int64_t>(field.columns());
  const auto jy = static_cast<std::int64_t>(field.rows());
  const auto i0 = static_cast<std::int32_t>(x);
  const auto j0 = static_cast<std::int32_t>(y);
  const float fx = x - static_cast<float>(i0);
  const float fy = y - static_cast<float>(j0);
  // Indices cut to the grid: only reached past the last point when the
  // fraction is 0, where `blend_parabolas` returns the inner sample.
  const auto at = [&](std::int64_t i, std::int64_t j) {
    const std::int64_t ic = std::clamp<std::int64_t>(i, 1, ix);
    const std::int64_t jc = std::clamp<std::int64_t>(j, 1, jy);
    return field(static_cast<std::size_t>(ic - 1), static_cast<std::size_t>(jc - 1));
  };
  float r[4];
  for (std::int64_t k = 0; k < 4; ++k) {
    const std::int64_t j = std::int64_t{j0} - 1 + k;
    const std::int64_t i = i0;
    r[k] = blend_parabolas(fx, at(i - 1, j), at(i, j), at(i + 1, j), at(i + 2, j));
  }
  return blend_parabolas(fy, r[0], r[1], r[2], r[3]);
}

float humidity(float t, float q) {
  const float e = powf(10.0f, ((t - 273.5f) * 7.5f) / t);
  const float saturation = 6.11f * e;
  return ((q * 1000.0f) / saturation) * 100.0f;
}

}  // namespace rn::siteseries
