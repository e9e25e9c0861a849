// Map projections between geographic coordinates (degrees) and real-valued
// grid coordinates of a regular model grid.
//
// Projection codes (first two characters of `proj`, case-sensitive, tested in
// this order): "ME" Mercator true at `truelat1`; "CE" cylindrical equidistant
// (`dx` in degrees); "LC" Lambert conformal conic true at `truelat1` and
// `truelat2` (hemisphere from the sign of `truelat2`); "ST" polar
// stereographic true at `truelat1` (hemisphere from its sign).  A negative
// zero counts as southern.  `dx` is in kilometres except for CE.
//
// The grid point (`x_orig`, `y_orig`) lies at (`lat_orig`, `lon_orig`).
// x counts cells west to east, y south to north; both are real numbers and
// rounding to a cell is the caller's business.
//
// The plain routines compute in 32-bit arithmetic throughout (32-bit
// constants and 32-bit maths functions), the `8` routines in 64-bit with the
// 32-bit constants widened, so that results are the same bits on every
// x86-64.  (The C library runs other code for sinf, cosf and expf on
// processors with fused multiply-add; the two agree on every angle within
// 12 radians of zero and every exponent below 32, which covers all real
// grids, and a test runs a dense sweep under both.)  Nothing is validated: degenerate input (dx = 0, a pole in
// Mercator, ...) gives non-finite results, returned as they are.  An unknown
// code writes the record "Unrecognized project:  " joined with the code and
// ends the program (plain stop, failure status).
//
// The routines keep no state; every call carries the whole description.
#pragma once

#include <cstdint>
#include <string_view>

namespace rn {

/// Forward conversion, 32-bit: (`lat`, `lon`) in degrees to grid (`x`, `y`).
/// ME and CE do not wrap the longitude difference; LC wraps it into
/// [-pi, pi]; ST uses it unwrapped inside its trigonometry.
void lltoxy_generic(float lat, float lon, float& x, float& y,
                    std::string_view proj, float dx, float lat_orig,
                    float lon_orig, float x_orig, float y_orig,
                    float stand_lon, float truelat1, float truelat2);

/// Inverse conversion, 32-bit: grid (`x`, `y`) to (`lat`, `lon`) in degrees,
/// `lon` brought into [-180, 180] by at most one turn either way.
void xytoll_generic(float x, float y, float& lat, float& lon,
                    std::string_view proj, float dx, float lat_orig,
                    float lon_orig, float x_orig, float y_orig,
                    float stand_lon, float truelat1, float truelat2);

/// Forward conversion in 64-bit arithmetic, same steps as `lltoxy_generic`.
void lltoxy_generic8(double lat, double lon, double& x, double& y,
                     std::string_view proj, double dx, double lat_orig,
                     double lon_orig, double x_orig, double y_orig,
                     double stand_lon, double truelat1, double truelat2);

/// Cone factor n of the Lambert conformal projection, 32-bit.  `hemi` is +1
/// (north) or -1 (south).  True latitudes closer than 0.01 degree give the
/// tangent cone n = hemi * sin(truelat1), positive in either hemisphere.
void lccone(float truelat1, float truelat2, std::int32_t hemi, float& cone);

/// Cone factor in 64-bit arithmetic, same rule as `lccone`.
void lccone8(double truelat1, double truelat2, std::int32_t hemi,
             double& cone);

}  // namespace rn
