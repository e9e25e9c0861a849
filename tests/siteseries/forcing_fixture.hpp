// Hourly forcing files and site lists for the point-extraction tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rn::test {

/// A forcing grid: a regular latitude-longitude grid (dimensions and
/// coordinate variables `lat_0`, `lon_0`) or the fixed Lambert grid
/// (dimensions `xgrid_0`, `ygrid_0`, no coordinates).
struct ForcingGrid {
  bool latlon = true;
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  std::vector<float> lat;  ///< ny latitudes, file order (latlon only)
  std::vector<float> lon;  ///< nx longitudes (latlon only)
};

/// A regular latitude-longitude grid from its first point and spacings.
ForcingGrid latlon_grid(std::int32_t nx, std::int32_t ny, float lat0, float dlat, float lon0,
                        float dlon);

/// One variable: its name and its value at grid point (i, j), 1-based, j in
/// file order.
struct ForcingVar {
  std::string name;
  std::function<float(int i, int j)> value;
};

/// Writes a forcing file (variables over time = 1, rows, columns).  `format`
/// "classic" or "nc4" (deflated, chunks of `chunk_rows` whole rows).
void write_forcing(const std::filesystem::path& path, const ForcingGrid& grid,
                   const std::vector<ForcingVar>& vars, const std::string& format = "classic",
                   std::size_t chunk_rows = 2);

/// The full variable set with constant T2, Q2, RAINRATE and the given winds.
std::vector<ForcingVar> full_set(std::function<float(int, int)> u10,
                                 std::function<float(int, int)> v10, float t2 = 273.5f,
                                 float q2 = 0.00611f, float rainrate = 0.001f);

/// The line an hourly file holds for one site, built with printf formats
/// (%12.6f, %8d, ...) as an independent rendering of the layout.  `values`:
/// pcp alone (rain only) or pcp, u10, v10, t2, q2, humidity; a NaN stands
/// for a column of asterisks.
std::string expected_line(const std::string& label, const std::vector<double>& values, int index,
                          const std::string& zip, const std::string& city,
                          const std::string& region, double lat, double lon);

}  // namespace rn::test
