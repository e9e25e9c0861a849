// The 16-point overlapping-parabola interpolation of a gridded field at a
// fractional grid position, and the relative humidity derived from the
// interpolated temperature and mixing ratio.  All arithmetic is 32-bit, in
// the order written (the build never contracts into fused multiply-adds).
#pragma once

#include <cstddef>
#include <cstdint>

#include "grid2d.hpp"

namespace rn::siteseries {

/// A forcing field: its values come zeroed and are read in part, row by row
/// (grid2d.hpp).
using FieldGrid = Grid2D<float, ZeroedAllocator<float>>;

/// The shape of the forcing grid: columns along the fastest dimension.
struct GridShape {
  std::size_t columns = 0;
  std::size_t rows = 0;
};

/// Value of a position that the interpolation cannot serve.
inline constexpr float kMissingValue = -1.0e33f;

/// One-dimensional kernel: the value at fraction `t` between `b` and `c` of
/// four equally spaced samples a, b, c, d, as the mean of the parabola
/// through a, b, c and the one through b, c, d, weighted by 1 - t and t.
/// A fraction within 0.00001 of 0 or 1 gives `b` or `c` exactly (the other
/// samples then do not count).  Reproduces linear and quadratic data.
float blend_parabolas(float t, float a, float b, float c, float d);

/// True when (x, y) lies in the part of the grid that the interpolation
/// serves: 2 <= x <= columns - 1 and 2 <= y <= rows - 1 (NaN never).
bool interior(float x, float y, GridShape grid);

/// The 1-based rows (or columns) `first`..`last` of the 4-point stencil of a
/// position `y` of the interior on an axis of `n` points: y truncated, one
/// before it and two after it, cut to the axis.  Only a position exactly on
/// the last-but-one point reaches past the axis, and there the kernel takes
/// the inner value alone.
struct Stencil {
  std::int32_t first = 0;
  std::int32_t last = -1;
};
Stencil stencil(float y, std::size_t n);

/// The field F (F(i, j) at 0-based cell (i - 1, j - 1)) interpolated at
/// grid position (x, y), 1 at the first grid point.
/// Contract: positions outside the interior give kMissingValue; inside,
/// four `blend_parabolas` passes along the rows j0 - 1 .. j0 + 2 (j0 = y truncated),
/// then one across them.  Never reads outside the grid: the samples past the
/// last point that a position on the last-but-one point would take are
/// replaced by the edge value, which the kernel's shortcut ignores.
/// Cost: 5 kernel evaluations, 16 field reads.
float interpolate_at(const FieldGrid& field, float x, float y);

/// Relative humidity (percent) from temperature `t` (K) and mixing ratio `q`
/// (kg/kg): e = 10^(((t - 273.5) * 7.5) / t), E = 6.11 * e,
/// H = ((q * 1000) / E) * 100.
float humidity(float t, float q);

}  // namespace rn::siteseries
