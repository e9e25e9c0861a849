// Configuration of a mapping run: `namelist.nesting`, the projection
// attributes of the parent geo file, and the projection description built
// from them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "map_projection.hpp"
#include "state.hpp"

namespace rn {
class NcFile;
}

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
/// was (the geo file is opened again, with checks, for its grid).  Then
/// compares `dxkm` with the file's own grid spacing
/// (`warn_on_spacing_mismatch`).
void read_projection_attributes(NestingConfig& config);

/// The grid spacing that a parent geo file states.
struct FileSpacing {
  bool metres = false;  ///< from DX (metres), else from DX_KM (km)
  float value = 0.0f;   ///< the attribute as stored
  double km = 0.0;      ///< in km
};

/// The geo file's spacing: its global attribute DX_KM (km), else DX
/// (metres, as geo files hold it), when positive and finite.  None for the
/// CE projection, whose `dxkm` is in degrees.
std::optional<FileSpacing> file_spacing(const NcFile& geo, std::string_view mapproject);

/// Writes one warning line on the error stream when the geo file's spacing
/// differs from `dxkm` by more than 0.1 % of the file's:
///   "Warning: dxkm = 3 km in namelist.nesting differs by more than 0.1 %
///   from the grid spacing of <file>, DX = 1000 m (1 km); the mapping uses
///   dxkm"   (or "DX_KM = 1 km")
/// The run goes on with `dxkm` in every case.
void warn_on_spacing_mismatch(const NcFile& geo, const NestingConfig& config);

/// The parent grid's projection with parent cell (1, 1), at (`lat0`,
/// `lon0`), as its known point.  Holds its own copy of the code, so that it
/// may outlive the configuration it was made from.
class ParentProjection {
 public:
  ParentProjection() = default;
  ParentProjection(const NestingConfig& config, float lat0, float lon0);

  /// The description (its code a view of this object's copy).
  ProjectionSpec spec() const;

  /// Real parent grid coordinates of a latitude and longitude (degrees).
  void to_xy(float lat, float lon, float& x, float& y) const;

 private:
  std::string code_;     // the two-character code
  ProjectionSpec spec_;  // everything but the code
};

}  // namespace rn::linkweaver
