#include "frame.hpp"

#include "map_projection.hpp"

namespace sb {

namespace {

// The frame's Lambert conformal description with the known point
// (lat, lon) at grid point (x, y).
rn::ProjectionSpec lambert(const Frame& f, float lat, float lon, float x, float y) {
  return {.code = "LC",
          .dx = f.dx_km,
          .lat_orig = lat,
          .lon_orig = lon,
          .x_orig = x,
          .y_orig = y,
          .stand_lon = f.stand_lon,
          .truelat1 = f.truelat1,
          .truelat2 = f.truelat2};
}

}  // namespace

void Frame::latlon(float x, float y, float& lat, float& lon) const {
  const rn::LatLon p = rn::grid_to_latlon(x, y, lambert(*this, lat0, lon0, 1.0f, 1.0f));
  lat = p.lat;
  lon = p.lon;
}

void Frame::grid_xy(float lat, float lon, float& x, float& y) const {
  const rn::GridXY<float> p = rn::latlon_to_grid(lat, lon, lambert(*this, lat0, lon0, 1.0f, 1.0f));
  x = p.x;
  y = p.y;
}

Frame make_frame(const Preset& preset) {
  Frame f;
  f.dx_km = preset.parent_dx_km;
  const float xc = 0.5f * static_cast<float>(preset.parent_nx + 1);
  const float yc = 0.5f * static_cast<float>(preset.parent_ny + 1);
  const rn::LatLon corner =
      rn::grid_to_latlon(1.0f, 1.0f, lambert(f, f.cen_lat, f.cen_lon, xc, yc));
  f.lat0 = corner.lat;
  f.lon0 = corner.lon;
  return f;
}

}  // namespace sb
