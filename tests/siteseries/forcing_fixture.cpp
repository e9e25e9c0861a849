#include "forcing_fixture.hpp"

#include <netcdf.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace rn::test {

namespace {

void check(int status, const std::string& what) {
  if (status != NC_NOERR) throw std::runtime_error(what + ": " + nc_strerror(status));
}

}  // namespace

ForcingGrid latlon_grid(std::int32_t nx, std::int32_t ny, float lat0, float dlat, float lon0,
                        float dlon) {
  ForcingGrid g;
  g.nx = nx;
  g.ny = ny;
  for (int j = 0; j < ny; ++j) g.lat.push_back(lat0 + dlat * static_cast<float>(j));
  for (int i = 0; i < nx; ++i) g.lon.push_back(lon0 + dlon * static_cast<float>(i));
  return g;
}

void write_forcing(const std::filesystem::path& path, const ForcingGrid& grid,
                   const std::vector<ForcingVar>& vars, const std::string& format,
                   std::size_t chunk_rows) {
  const bool nc4 = format == "nc4";
  int ncid = -1;
  check(nc_create(path.c_str(), NC_CLOBBER | (nc4 ? NC_NETCDF4 : 0), &ncid), path.string());
  int dt = -1, dy = -1, dx = -1;
  check(nc_def_dim(ncid, "time", 1, &dt), "time");
  check(nc_def_dim(ncid, grid.latlon ? "lat_0" : "ygrid_0", static_cast<std::size_t>(grid.ny), &dy),
        "rows");
  check(nc_def_dim(ncid, grid.latlon ? "lon_0" : "xgrid_0", static_cast<std::size_t>(grid.nx), &dx),
        "columns");
  int vlat = -1, vlon = -1;
  if (grid.latlon) {
    check(nc_def_var(ncid, "lat_0", NC_FLOAT, 1, &dy, &vlat), "lat_0");
    check(nc_def_var(ncid, "lon_0", NC_FLOAT, 1, &dx, &vlon), "lon_0");
  }
  const int dims[] = {dt, dy, dx};
  std::vector<int> ids;
  for (const ForcingVar& v : vars) {
    int id = -1;
    check(nc_def_var(ncid, v.name.c_str(), NC_FLOAT, 3, dims, &id), v.name);
    if (nc4) {
      const std::size_t chunk[] = {1, chunk_rows, static_cast<std::size_t>(grid.nx)};
      check(nc_def_var_chunking(ncid, id, NC_CHUNKED, chunk), "chunking");
      check(nc_def_var_deflate(ncid, id, 1, 1, 1), "deflate");
    }
    ids.push_back(id);
  }
  check(nc_enddef(ncid), "enddef");
  if (grid.latlon) {
    check(nc_put_var_float(ncid, vlat, grid.lat.data()), "lat_0");
    check(nc_put_var_float(ncid, vlon, grid.lon.data()), "lon_0");
  }
  std::vector<float> values(static_cast<std::size_t>(grid.nx) * static_cast<std::size_t>(grid.ny));
  for (std::size_t k = 0; k < vars.size(); ++k) {
    for (int j = 1; j <= grid.ny; ++j) {
      for (int i = 1; i <= grid.nx; ++i) {
        values[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(grid.nx) +
               static_cast<std::size_t>(i - 1)] = vars[k].value(i, j);
      }
    }
    check(nc_put_var_float(ncid, ids[k], values.data()), vars[k].name);
  }
  check(nc_close(ncid), "close");
}

std::vector<ForcingVar> full_set(std::function<float(int, int)> u10,
                                 std::function<float(int, int)> v10, float t2, float q2,
                                 float rainrate) {
  return {{"U10", std::move(u10)},
          {"V10", std::move(v10)},
          {"T2", [t2](int, int) { return t2; }},
          {"Q2", [q2](int, int) { return q2; }},
          {"RAINRATE", [rainrate](int, int) { return rainrate; }}};
}

std::string expected_line(const std::string& label, const std::vector<double>& values, int index,
                          const std::string& zip, const std::string& city,
                          const std::string& region, double lat, double lon) {
  char buf[512];
  std::string line = label;
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (std::isnan(values[k])) {
      line += " ,************";
      continue;
    }
    std::snprintf(buf, sizeof buf, k == 5 ? " ,%12.1f" : " ,%12.6f", values[k]);
    line += buf;
  }
  std::snprintf(buf, sizeof buf, " ,%8d ,%5s ,%-20s ,%-20s ,%12.6f ,%12.6f\n", index, zip.c_str(),
                city.c_str(), region.c_str(), lat, lon);
  return line + buf;
}

}  // namespace rn::test
