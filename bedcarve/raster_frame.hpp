// What locates a raster DEM on the earth and marks its gaps, as read from
// the raster and handed to the writers of the conditioned terrain: the
// affine transform from cell to map coordinates, the coordinate system and
// the no-data value.
#pragma once

#include <array>
#include <string>

namespace rn::bedcarve {

struct RasterFrame {
  /// Map coordinates of the corner of cell (column c, row r), 0-based:
  ///   x = t[0] + c t[1] + r t[2],  y = t[3] + c t[4] + r t[5].
  /// Rows as the raster delivers them (the north row first in a north-up
  /// raster: t[5] < 0).
  bool has_transform = false;
  std::array<double, 6> transform{0, 1, 0, 0, 0, 1};
  std::string crs_wkt;       ///< the coordinate system (WKT), empty when none
  bool geographic = false;   ///< the coordinates are longitude and latitude in degrees
  std::string linear_units;  ///< units of projected coordinates ("m"), empty when unknown
  bool has_nodata = false;
  double nodata = 0;         ///< the no-data height, as a 32-bit real holds it
  std::string height_units;  ///< units of the heights, empty when none are given

  /// The transform has no rotation terms: columns run along x, rows along y.
  bool axis_aligned() const { return has_transform && transform[2] == 0 && transform[4] == 0; }
};

}  // namespace rn::bedcarve
