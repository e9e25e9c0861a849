#include "frame.hpp"

#include "map_projection.hpp"

namespace sb {

void Frame::latlon(float x, float y, float& lat, float& lon) const {
  rn::xytoll_generic(x, y, lat, lon, "LC", dx_km, lat0, lon0, 1.0f, 1.0f, stand_lon, truelat1, truelat2);
}

void Frame::grid_xy(float lat, float lon, float& x, float& y) const {
  rn::lltoxy_generic(lat, lon, x, y, "LC", dx_km, lat0, lon0, 1.0f, 1.0f, stand_lon, truelat1, truelat2);
}

Frame make_frame(const Preset& preset) {
  Frame f;
  f.dx_km = preset.parent_dx_km;
  const float xc = 0.5f * static_cast<float>(preset.parent_nx + 1);
  const float yc = 0.5f * static_cast<float>(preset.parent_ny + 1);
  rn::xytoll_generic(1.0f, 1.0f, f.lat0, f.lon0, "LC", f.dx_km, f.cen_lat, f.cen_lon, xc, yc,
                     f.stand_lon, f.truelat1, f.truelat2);
  return f;
}

}  // namespace sb
