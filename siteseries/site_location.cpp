// Placing the sites on the forcing grid: a regular latitude-longitude grid
// described by the start-hour file, or the fixed Lambert conformal grid.
#include <string>
#include <vector>

#include "map_projection.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "siteseries.hpp"
#include "siteseries_messages.hpp"

namespace rn::siteseries {

// Regular latitude-longitude grid.
// Contract: reads the coordinate variables "lat_0" (jy values) and "lon_0"
// (ix values) of the start-hour file and takes the spacing of their first two
// points for the whole axis (a latitude axis stored north to south has a
// negative spacing and works unchanged); a first longitude below zero counts
// 360 more, like the site longitudes.  Gives every site its fractional
// column and row, 1 at the first grid point, in 32-bit arithmetic.  An axis
// of fewer than two points has no spacing and ends the run.  Cost: two
// coordinate reads, O(sites).
void place_on_latlon_grid(SiteSeries& m) {
  const std::string file = forcing_file(m, std::string_view(m.startdate).substr(0, kLabelWidth));
  const ModuleReaders readers(DimensionForm::plain);
  std::vector<float> lat2d;
  std::vector<float> lon2d;
  readers.get1d_real(file, "lat_0", lat2d, m.shape.rows);
  readers.get1d_real(file, "lon_0", lon2d, m.shape.columns);
  if (lat2d.size() < 2 || lon2d.size() < 2) {
    text_stop(msg::kNoSpacing);
  }

  const float dlat = lat2d[1] - lat2d[0];
  const float dlon = lon2d[1] - lon2d[0];
  float lon1 = lon2d[0];
  if (lon1 < 0.0f) lon1 = lon1 + 360.0f;
  m.site_x.resize(m.sites.size());
  m.site_y.resize(m.sites.size());
  for (std::size_t i = 0; i < m.sites.size(); ++i) {
    m.site_y[i] = (m.sites[i].lat - lat2d[0]) / dlat + 1.0f;
    m.site_x[i] = (m.sites[i].lon - lon1) / dlon + 1.0f;
  }
}

// The fixed Lambert conformal grid (kSiteLambertGrid): every site's
// fractional column and row, in 32-bit arithmetic.  O(sites).
void place_on_lambert_grid(SiteSeries& m) {
  m.site_x.resize(m.sites.size());
  m.site_y.resize(m.sites.size());
  for (std::size_t i = 0; i < m.sites.size(); ++i) {
    const GridXY<float> p = latlon_to_grid(m.sites[i].lat, m.sites[i].lon, kSiteLambertGrid);
    m.site_x[i] = p.x;
    m.site_y[i] = p.y;
  }
}

}  // namespace rn::siteseries
