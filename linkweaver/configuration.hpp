// Configuration of a mapping run: `namelist.nesting`, the projection
// attributes of the parent geo file, and the projection description built
// from them.
#pragma once

#include <string>
#include <string_view>

#include "state.hpp"

namespace rn::linkweaver {

/// Reads `namelist.nesting` of the working directory into `config`, checks the
/// projection code and the grid spacing, then calls `read_projection_attributes`.  A missing,
/// unreadable or malformed file, or a key it does not set, ends the run (status 1).
void read_configuration(NestingConfig& config);

/// Ends the run (status 1) with the record "Unrecognized project:  " and the
/// code unless the first two characters of `mapproject` are ME, CE, LC or
/// ST, compared case-sensitively.
void check_projection_code(std::string_view mapproject);

/// Ends the run (status 1) with the record "dxkm = " and the value, then a
/// text stop, unless `dxkm` is positive and finite.
void check_grid_spacing(float dxkm);

/// Reads the global attributes TRUELAT1, TRUELAT2, CEN_LAT, CEN_LON and
/// STAND_LON of the parent geo file into `config`.  Nothing is checked: a
/// file that cannot be opened or an absent attribute leaves the field as it
/// was (the geo file is opened again, with checks, for its grid).
void read_projection_attributes(NestingConfig& config);

/// The parent grid's projection with parent cell (1, 1) as its known point.
struct ParentProjection {
  std::string proj;  ///< the two-character code
  float dx = 0.0f;
  float lat0 = 0.0f;
  float lon0 = 0.0f;
  float stand_lon = 0.0f;
  float truelat1 = 0.0f;
  float truelat2 = 0.0f;

  ParentProjection() = default;
  ParentProjection(const NestingConfig& config, float lat0, float lon0);

  /// Real parent grid coordinates of a latitude and longitude (degrees).
  void to_xy(float lat, float lon, float& x, float& y) const;
};

}  // namespace rn::linkweaver
