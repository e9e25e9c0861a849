// Map projections between geographic coordinates (degrees) and real-valued
// grid coordinates of a regular model grid.
//
// Projection codes (first two characters of `code`, case-sensitive, tested in
// this order): "ME" Mercator true at `truelat1`; "CE" cylindrical equidistant
// (`dx` in degrees); "LC" Lambert conformal conic true at `truelat1` and
// `truelat2` (hemisphere from the sign of `truelat2`); "ST" polar
// stereographic true at `truelat1` (hemisphere from its sign).  A negative
// zero counts as southern.  `dx` is in kilometres except for CE.
//
// A projection is described by one `ProjectionSpec` (64-bit: `ProjectionSpec64`).
// The grid point (`x_orig`, `y_orig`) lies at (`lat_orig`, `lon_orig`).
// x counts cells west to east, y south to north; both are real numbers and
// rounding to a cell is the caller's business.
//
// The 32-bit routines compute in 32-bit arithmetic throughout (32-bit
// constants and 32-bit maths functions), the 64-bit ones with the 32-bit
// constants widened, so that results are the same bits on every
// x86-64.  (The C library runs other code for sinf, cosf and expf on
// processors with fused multiply-add; the two agree on every angle within
// 12 radians of zero and every exponent below 32, which covers all real
// grids, and a test runs a dense sweep under both.)  Nothing is validated: degenerate input (dx =
// 0, a pole in Mercator, ...) gives non-finite results, returned as they are.  An unknown code
// writes the record "Unrecognized project:  " joined with the code and ends the program (plain
// stop, failure status).
//
// The routines keep no state; every call carries the whole description.
// These are the projections of the whole toolkit: linkweaver places the
// child grid on the parent grid, siteseries its sites on the forcing grid,
// and the sample-basin generator builds its grids with them.
#pragma once

#include <cstdint>
#include <string_view>

namespace rn {

/// A projection description.  `code` is a view: the text it names must
/// outlive the description (a literal, or a configuration that lives for the
/// run).  Reals are 32-bit in `ProjectionSpec`, 64-bit in `ProjectionSpec64`.
template <typename Real>
struct BasicProjectionSpec {
  std::string_view code;  ///< "ME", "CE", "LC" or "ST"; its first two characters count
  Real dx = 0;            ///< grid spacing: km for ME, LC and ST, degrees for CE
  Real lat_orig = 0;      ///< latitude of the known point, degrees
  Real lon_orig = 0;      ///< longitude of the known point, degrees
  Real x_orig = 1;        ///< grid x of the known point (the toolkit uses cell 1)
  Real y_orig = 1;        ///< grid y of the known point
  Real stand_lon = 0;     ///< standard longitude (LC, ST), degrees
  Real truelat1 = 0;      ///< first true latitude (ME, LC, ST); ST's hemisphere
  Real truelat2 = 0;      ///< second true latitude (LC); LC's hemisphere
};
using ProjectionSpec = BasicProjectionSpec<float>;
using ProjectionSpec64 = BasicProjectionSpec<double>;

/// Real-valued grid coordinates, 1 at the first cell.
template <typename Real>
struct GridXY {
  Real x = 0;
  Real y = 0;
};

/// A latitude and longitude in degrees.
struct LatLon {
  float lat = 0.0f;
  float lon = 0.0f;
};

/// The fixed 3 km Lambert conformal grid of the forcing files that
/// siteseries reads when they hold no coordinate variables (tangent cone at
/// 38.5 degrees, cell (1, 1) at 21.13812 N, 237.2805 E).
inline constexpr ProjectionSpec kSiteLambertGrid{.code = "LC",
                                                 .dx = 3.0f,
                                                 .lat_orig = 21.13812f,
                                                 .lon_orig = 237.2805f,
                                                 .x_orig = 1.0f,
                                                 .y_orig = 1.0f,
                                                 .stand_lon = 262.5f,
                                                 .truelat1 = 38.5f,
                                                 .truelat2 = 38.5f};

/// Forward conversion, 32-bit: (`lat`, `lon`) in degrees to grid coordinates.
/// ME and CE do not wrap the longitude difference; LC wraps it into
/// [-pi, pi]; ST uses it unwrapped inside its trigonometry.
GridXY<float> latlon_to_grid(float lat, float lon, const ProjectionSpec& spec);

/// Forward conversion in 64-bit arithmetic, same steps as the 32-bit one.
/// (Part of the common projection set; no program calls it today.)
GridXY<double> latlon_to_grid(double lat, double lon, const ProjectionSpec64& spec);

/// Inverse conversion, 32-bit: grid (`x`, `y`) to latitude and longitude in
/// degrees, the longitude brought into [-180, 180] by at most one turn
/// either way.
LatLon grid_to_latlon(float x, float y, const ProjectionSpec& spec);

/// Cone factor n of the Lambert conformal projection, 32-bit (the
/// conversions use it inside; no program calls it directly today).  `hemi` is +1
/// (north) or -1 (south).  True latitudes closer than 0.01 degree give the
/// tangent cone n = hemi * sin(truelat1), positive in either hemisphere.
float lambert_cone(float truelat1, float truelat2, std::int32_t hemi);

/// Cone factor in 64-bit arithmetic, same rule.
double lambert_cone(double truelat1, double truelat2, std::int32_t hemi);

}  // namespace rn
