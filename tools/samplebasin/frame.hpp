// Where the basin lies: the Lambert conformal description of the parent
// grid, exactly as the mapping builder will rebuild it from the parent geo
// file (known point = parent cell (1, 1), grid coordinates 1-based).
#pragma once

#include "preset.hpp"

namespace sb {

struct Frame {
  float dx_km = 1.0f;
  float truelat1 = 33.0f;
  float truelat2 = 45.0f;
  float stand_lon = -100.0f;
  float cen_lat = 40.0f;
  float cen_lon = -100.0f;
  float lat0 = 0.0f;  ///< latitude of parent cell (1, 1)
  float lon0 = 0.0f;  ///< longitude of parent cell (1, 1)

  /// Latitude and longitude of the parent grid point (x, y), 1-based.
  void latlon(float x, float y, float& lat, float& lon) const;
  /// Parent grid coordinates (1-based) of a latitude and longitude.
  void grid_xy(float lat, float lon, float& x, float& y) const;
};

/// The frame of a preset: the parent grid centred on (cen_lat, cen_lon).
Frame make_frame(const Preset& preset);

}  // namespace sb
