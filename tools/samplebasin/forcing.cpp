#include "forcing.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "atomic_output.hpp"
#include "basin_files.hpp"
#include "map_projection.hpp"
#include "nc_out.hpp"
#include "noise.hpp"
#include "det_math.hpp"
#include "frame.hpp"
#include "random.hpp"

namespace sb {

namespace {

constexpr double kKmPerDegree = 111.2;

// The fixed Lambert conformal grid of the forcing files.
void lambert_xy(float lat, float lon, float& x, float& y) {
  const rn::GridXY<float> p = rn::latlon_to_grid(lat, lon, rn::kSiteLambertGrid);
  x = p.x;
  y = p.y;
}
void lambert_latlon(float x, float y, float& lat, float& lon) {
  const rn::LatLon p = rn::grid_to_latlon(x, y, rn::kSiteLambertGrid);
  lat = p.lat;
  lon = p.lon;
}

// The basin (the parent domain) in cells of the fixed Lambert grid, found
// by sampling the parent grid's edges.
struct Region {
  float x_lo = 0, x_hi = 0, y_lo = 0, y_hi = 0;
};

Region basin_region(const Preset& p) {
  const Frame f = make_frame(p);
  Region r{1e30f, -1e30f, 1e30f, -1e30f};
  constexpr int kSamples = 64;
  auto take = [&](float px, float py) {
    float lat = 0, lon = 0, x = 0, y = 0;
    f.latlon(px, py, lat, lon);
    lambert_xy(lat, lon < 0.0f ? lon + 360.0f : lon, x, y);
    r.x_lo = std::min(r.x_lo, x);
    r.x_hi = std::max(r.x_hi, x);
    r.y_lo = std::min(r.y_lo, y);
    r.y_hi = std::max(r.y_hi, y);
  };
  const auto nx = static_cast<float>(p.parent_nx), ny = static_cast<float>(p.parent_ny);
  for (int s = 0; s <= kSamples; ++s) {
    const float t = static_cast<float>(s) / kSamples;
    take(1 + (nx - 1) * t, 1);
    take(1 + (nx - 1) * t, ny);
    take(1, 1 + (ny - 1) * t);
    take(nx, 1 + (ny - 1) * t);
  }
  return r;
}

// Where sites and rain cells lie: the basin less a tenth of its width and
// height on every side, and at least five cells inside the Lambert grid, so
// that both forcing grids serve every site.
Region site_region(const Preset& p) {
  const Region b = basin_region(p);
  const float dx = 0.1f * (b.x_hi - b.x_lo), dy = 0.1f * (b.y_hi - b.y_lo);
  return {std::max(5.0f, b.x_lo + dx), b.x_hi - dx, std::max(5.0f, b.y_lo + dy), b.y_hi - dy};
}

struct Box {
  float lat_lo = 90, lat_hi = -90, lon_lo = 180, lon_hi = -180;
};

Box box_of(const Region& r) {
  Box b;
  constexpr int kSamples = 64;
  auto take = [&](float x, float y) {
    float lat = 0, lon = 0;
    lambert_latlon(x, y, lat, lon);
    b.lat_lo = std::min(b.lat_lo, lat);
    b.lat_hi = std::max(b.lat_hi, lat);
    b.lon_lo = std::min(b.lon_lo, lon);
    b.lon_hi = std::max(b.lon_hi, lon);
  };
  for (int s = 0; s <= kSamples; ++s) {
    const float fx = r.x_lo + (r.x_hi - r.x_lo) * static_cast<float>(s) / kSamples;
    const float fy = r.y_lo + (r.y_hi - r.y_lo) * static_cast<float>(s) / kSamples;
    take(fx, r.y_lo);
    take(fx, r.y_hi);
    take(r.x_lo, fy);
    take(r.x_hi, fy);
  }
  return b;
}

// ---- site lists ----

constexpr const char* kTowns[] = {"Ashford", "Brookfield", "Millbrook", "Fairview", "Oakdale", "Riverton",
                                  "Lakeside", "Westport", "Eastham", "Northfield", "Southgate", "Hillcrest",
                                  "Greenville", "Stonebridge", "Clearwater", "Redmond", "Kingsley", "Marlow"};
constexpr const char* kTownEnds[] = {"", "", "", " Springs", " Falls", " Junction"};
constexpr const char* kStates[] = {"AZ", "CA", "CO", "ID", "NM", "NV", "OR", "UT", "WA", "WY"};
constexpr const char* kCountries[] = {"Arcadia", "Borealia", "Costa Nueva", "Deltaland", "San Verano"};
constexpr const char* kCountryCodes[] = {"AR", "BO", "CN", "DL", "SV"};

template <std::size_t N>
std::size_t pick(const char* const (&)[N], std::uint64_t h) {
  return static_cast<std::size_t>(h % N);
}

std::string quoted_if_needed(const std::string& text) {
  return text.find_first_of(" ,/") == std::string::npos ? text : "'" + text + "'";
}

// Contract: `count` sites, each written with four decimals and placed so
// that the latitude and longitude read back from the text lie inside the
// site region of the Lambert grid (and so inside the latitude-longitude
// grid, which covers the region with a margin).  Cost O(count).
void write_sites(const Preset& p, std::uint64_t seed, const std::string& dir) {
  const Region r = site_region(p);
  Rng rng(hash4(seed, 0x53495445u));
  rn::AtomicTextFile us(dir + "/" + kSitesUs);
  rn::AtomicTextFile world(dir + "/" + kSitesWorld);
  us.text().line("zip lat lon city state");
  world.text().line("city code lat lon country");
  char lat_text[32], lon_text[32], line[256];
  for (int k = 0; k < p.sites; ++k) {
    float lat = 0, lon = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const auto x = static_cast<float>(rng.uniform(r.x_lo, r.x_hi));
      const auto y = static_cast<float>(rng.uniform(r.y_lo, r.y_hi));
      lambert_latlon(x, y, lat, lon);
      std::snprintf(lat_text, sizeof lat_text, "%.4f", static_cast<double>(lat));
      std::snprintf(lon_text, sizeof lon_text, "%.4f", static_cast<double>(lon));
      float gx = 0, gy = 0;
      lambert_xy(std::strtof(lat_text, nullptr), std::strtof(lon_text, nullptr), gx, gy);
      if (gx >= r.x_lo - 1 && gx <= r.x_hi + 1 && gy >= r.y_lo - 1 && gy <= r.y_hi + 1) break;
    }
    const std::uint64_t h = hash4(seed, 0x43495459u, static_cast<std::uint64_t>(k));
    const std::string city = std::string(kTowns[pick(kTowns, h)]) + kTownEnds[pick(kTownEnds, h >> 8)];
    const int zip = 1 + static_cast<int>((h >> 16) % 99999);
    std::snprintf(line, sizeof line, "%05d %s %s %s %s", zip, lat_text, lon_text,
                  quoted_if_needed(city).c_str(), kStates[pick(kStates, h >> 40)]);
    us.text().line(line);
    const std::size_t c = pick(kCountries, h >> 48);
    std::snprintf(line, sizeof line, "%s %s %s %s %s", quoted_if_needed(city).c_str(), kCountryCodes[c],
                  lat_text, lon_text, quoted_if_needed(kCountries[c]).c_str());
    world.text().line(line);
  }
  us.commit();
  world.commit();
}

// ---- forcing fields ----

// A forcing grid: the file's `nx` by `ny` cells, of which the block of
// `rows` rows from `row0` and `cols` columns from `col0` (0-based, file
// order) holds values; `lat`, `lon` and every field hold that block, row by
// row.  The other cells are left to the file's fill value.
struct ForcingGrid {
  bool lambert = false;
  int nx = 0, ny = 0;
  int row0 = 0, rows = 0, col0 = 0, cols = 0;
  std::vector<float> lat_axis, lon_axis;  // latitude-longitude flavour: file order
  std::vector<float> lat, lon;            // every cell of the block
};

ForcingGrid latlon_grid(const Preset& p) {
  ForcingGrid g;
  g.nx = g.cols = p.forcing_nx;
  g.ny = g.rows = p.forcing_ny;
  const Box b = box_of(site_region(p));
  const double pad_lat = 0.06 * (b.lat_hi - b.lat_lo), pad_lon = 0.06 * (b.lon_hi - b.lon_lo);
  const double north = b.lat_hi + pad_lat, south = b.lat_lo - pad_lat;
  const double west = b.lon_lo - pad_lon, east = b.lon_hi + pad_lon;
  for (int j = 0; j < g.ny; ++j) g.lat_axis.push_back(static_cast<float>(north - (north - south) * j / (g.ny - 1)));
  for (int i = 0; i < g.nx; ++i) g.lon_axis.push_back(static_cast<float>(west + (east - west) * i / (g.nx - 1)));
  g.lat.resize(static_cast<std::size_t>(g.nx) * static_cast<std::size_t>(g.ny));
  g.lon.resize(g.lat.size());
  for (int j = 0; j < g.ny; ++j) {
    for (int i = 0; i < g.nx; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * static_cast<std::size_t>(g.nx) + static_cast<std::size_t>(i);
      g.lat[k] = g.lat_axis[static_cast<std::size_t>(j)];
      g.lon[k] = g.lon_axis[static_cast<std::size_t>(i)];
    }
  }
  return g;
}

constexpr int kMargin = 8;  // Lambert cells of values around the basin

}  // namespace

GridSize lambert_forcing_size(const Preset& p) {
  const Region b = basin_region(p);
  return {std::max(p.forcing_nx, static_cast<int>(b.x_hi) + kMargin),
          std::max(p.forcing_ny, static_cast<int>(b.y_hi) + kMargin)};
}

namespace {

// The fixed Lambert grid reaches from its corner cell to the basin (which
// may lie hundreds of cells away); values are made for the basin and a
// margin of eight cells only.
ForcingGrid lambert_grid(const Preset& p) {
  const Region b = basin_region(p);
  ForcingGrid g;
  g.lambert = true;
  const GridSize size = lambert_forcing_size(p);
  g.nx = size.nx;
  g.ny = size.ny;
  g.col0 = std::clamp(static_cast<int>(b.x_lo) - kMargin, 0, g.nx - 1);
  g.row0 = std::clamp(static_cast<int>(b.y_lo) - kMargin, 0, g.ny - 1);
  g.cols = std::min(g.nx, static_cast<int>(b.x_hi) + kMargin) - g.col0;
  g.rows = std::min(g.ny, static_cast<int>(b.y_hi) + kMargin) - g.row0;
  g.lat.resize(static_cast<std::size_t>(g.cols) * static_cast<std::size_t>(g.rows));
  g.lon.resize(g.lat.size());
  for (int j = 0; j < g.rows; ++j) {
    for (int i = 0; i < g.cols; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * static_cast<std::size_t>(g.cols) + static_cast<std::size_t>(i);
      lambert_latlon(static_cast<float>(g.col0 + i + 1), static_cast<float>(g.row0 + j + 1), g.lat[k], g.lon[k]);
    }
  }
  return g;
}

// Fields that do not change through the day, per cell.
struct Statics {
  std::vector<float> t0, q0, u0, v0;  // mean temperature, humidity, wind
  std::vector<float> cos_lon, sin_lon;  // phase of local solar time
};

Statics make_statics(const ForcingGrid& g, std::uint64_t seed) {
  const FractalNoise a(hash4(seed, 0x46524341u), 2000.0, 1.0, 0.5);
  const FractalNoise b(hash4(seed, 0x46524342u), 2000.0, 1.0, 0.5);
  Statics s;
  const std::size_t n = g.lat.size();
  s.t0.resize(n);
  s.q0.resize(n);
  s.u0.resize(n);
  s.v0.resize(n);
  s.cos_lon.resize(n);
  s.sin_lon.resize(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double lat = g.lat[k], lon = g.lon[k];
    const double x = lon * kKmPerDegree * 0.77, y = lat * kKmPerDegree;
    const double na = a.value(x, y, 400.0), nb = b.value(x, y, 400.0);
    const double t0 = 303.0 - 1.1 * (lat - 20.0) + 4.0 * na;
    s.t0[k] = static_cast<float>(t0);
    s.q0[k] = static_cast<float>(std::clamp(0.004 + 0.0004 * (t0 - 273.0), 0.0008, 0.02) * (1.0 + 0.4 * nb));
    s.u0[k] = static_cast<float>(3.0 + 8.0 * nb);
    s.v0[k] = static_cast<float>(8.0 * na - 1.0);
    double sine = 0, cosine = 0;
    det_sincos_turns(lon / 360.0, sine, cosine);
    s.cos_lon[k] = static_cast<float>(cosine);
    s.sin_lon[k] = static_cast<float>(sine);
  }
  return s;
}

struct Storm {
  double lat = 0, lon = 0;         // centre at the first hour
  double dlat = 0, dlon = 0;       // motion per hour, degrees
  double radius_km = 100, peak = 0;  // peak rate, mm/s
};

std::vector<Storm> make_storms(const Preset& p, std::uint64_t seed) {
  const Box b = box_of(site_region(p));
  const double width_km = (b.lon_hi - b.lon_lo) * kKmPerDegree * 0.77;
  const double height_km = (b.lat_hi - b.lat_lo) * kKmPerDegree;
  const double extent = std::min(width_km, height_km);
  const double radius = std::min(400.0, 0.3 * extent);
  const int count = std::clamp(static_cast<int>(width_km * height_km / (9.0 * radius * radius)), 3, 60);
  Rng rng(hash4(seed, 0x53544F52u));
  std::vector<Storm> storms;
  for (int k = 0; k < count; ++k) {
    Storm s;
    s.lat = rng.uniform(b.lat_lo, b.lat_hi);
    s.lon = rng.uniform(b.lon_lo, b.lon_hi);
    s.radius_km = radius * rng.uniform(0.5, 1.0);
    s.peak = rng.uniform(2e-4, 2e-3);
    const double speed_km = extent / 24.0 * rng.uniform(0.3, 0.8);
    s.dlon = speed_km / (kKmPerDegree * 0.77);
    s.dlat = speed_km * rng.uniform(-0.3, 0.3) / kKmPerDegree;
    storms.push_back(s);
  }
  return storms;
}

// A real cell position brought into 0 .. n - 1 (a position that is not a
// number gives 0).
int clamp_index(double v, int n) {
  if (!(v > 0.0)) return 0;
  if (!(v < n - 1)) return n - 1;
  return static_cast<int>(v);
}

// Contract: adds the rain rate (mm/s) of one storm at hour `hour` to `rate`
// over the cells within its radius: peak * (1 - d^2/R^2)^2.  Visits only a
// block of cells around the storm.  Cost O(cells in that block).
void add_storm(const ForcingGrid& g, const Storm& s, int hour, std::vector<float>& rate) {
  const double lat = s.lat + s.dlat * hour, lon = s.lon + s.dlon * hour;
  double sinlat = 0, coslat = 0;
  det_sincos_turns(lat / 360.0, sinlat, coslat);
  const double half_lat = s.radius_km / kKmPerDegree;
  const double half_lon = s.radius_km / (kKmPerDegree * std::max(coslat, 0.1));
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // block of cells, 0-based, in file order
  if (g.lambert) {
    float x = 0, y = 0;
    lambert_xy(static_cast<float>(lat), static_cast<float>(lon), x, y);
    const double half = 1.5 * s.radius_km / 3.0 + 2.0;
    x0 = x - 1 - g.col0 - half;
    x1 = x - 1 - g.col0 + half;
    y0 = y - 1 - g.row0 - half;
    y1 = y - 1 - g.row0 + half;
  } else {
    const double dlat = g.lat_axis[0] - g.lat_axis[1], dlon = g.lon_axis[1] - g.lon_axis[0];
    y0 = (g.lat_axis[0] - (lat + half_lat)) / dlat;
    y1 = (g.lat_axis[0] - (lat - half_lat)) / dlat + 1;
    x0 = (lon - half_lon - g.lon_axis[0]) / dlon;
    x1 = (lon + half_lon - g.lon_axis[0]) / dlon + 1;
  }
  const int i0 = clamp_index(x0, g.cols), i1 = clamp_index(x1, g.cols);
  const int j0 = clamp_index(y0, g.rows), j1 = clamp_index(y1, g.rows);
  const double r2 = s.radius_km * s.radius_km;
  for (int j = j0; j <= j1; ++j) {
    for (int i = i0; i <= i1; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * static_cast<std::size_t>(g.cols) + static_cast<std::size_t>(i);
      const double dy = (g.lat[k] - lat) * kKmPerDegree;
      const double dx = (g.lon[k] - lon) * kKmPerDegree * coslat;
      const double d2 = dx * dx + dy * dy;
      if (d2 >= r2) continue;
      const double f = 1.0 - d2 / r2;
      rate[k] += static_cast<float>(s.peak * f * f);
    }
  }
}

// Keeps the leading `bits` bits of the mantissa (the rest zero): 12 bits
// hold a temperature to 0.07 K and a wind to 0.004 m/s, far finer than the
// fields mean, and make them much cheaper to compress.
float trimmed(float v, int bits) {
  const std::uint32_t mask = ~((std::uint32_t{1} << (23 - bits)) - 1u);
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) & mask);
}

struct FileDims {
  int row = 0, col = 0;
};

FileDims define_grid(NcOut& nc, const ForcingGrid& g, int& lat_var, int& lon_var) {
  FileDims d;
  lat_var = lon_var = -1;
  if (g.lambert) {
    d.row = nc.dim("ygrid_0", static_cast<std::size_t>(g.ny));
    d.col = nc.dim("xgrid_0", static_cast<std::size_t>(g.nx));
    nc.att(NC_GLOBAL, "grid", "Lambert conformal, 3 km, cell (1,1) at 21.13812 N 237.2805 E, "
                              "standard longitude 262.5, true latitudes 38.5");
  } else {
    d.row = nc.dim("lat_0", static_cast<std::size_t>(g.ny));
    d.col = nc.dim("lon_0", static_cast<std::size_t>(g.nx));
    lat_var = nc.var("lat_0", NC_FLOAT, {d.row});
    nc.att(lat_var, "units", "degrees_north");
    lon_var = nc.var("lon_0", NC_FLOAT, {d.col});
    nc.att(lon_var, "units", "degrees_east");
  }
  return d;
}

// A field over the grid, with its units; where only a block of the grid
// holds values, the others read as its declared fill value.
int field_var(NcOut& nc, const ForcingGrid& g, const FileDims& d, const char* name, const char* units) {
  const int id = nc.var(name, NC_FLOAT, {d.row, d.col});
  nc.att(id, "units", units);
  if (g.cols != g.nx || g.rows != g.ny) nc.att(id, "_FillValue", NC_FILL_FLOAT);
  return id;
}

// A field of the grid's block: its rows written whole, the columns beyond
// the block holding the fill value; rows beyond it are never written and
// read as the fill value too.
void put_block(NcOut& nc, const ForcingGrid& g, int varid, const std::vector<float>& block) {
  if (g.cols == g.nx) {
    nc.put_rows(varid, static_cast<std::size_t>(g.row0), static_cast<std::size_t>(g.rows),
                static_cast<std::size_t>(g.nx), block.data());
    return;
  }
  std::vector<float> rows(static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.nx), NC_FILL_FLOAT);
  for (int j = 0; j < g.rows; ++j) {
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(j) * g.cols, g.cols,
                rows.begin() + static_cast<std::ptrdiff_t>(j) * g.nx + g.col0);
  }
  nc.put_rows(varid, static_cast<std::size_t>(g.row0), static_cast<std::size_t>(g.rows),
              static_cast<std::size_t>(g.nx), rows.data());
}

void put_axes(NcOut& nc, const ForcingGrid& g, int lat_var, int lon_var) {
  if (g.lambert) return;
  nc.put(lat_var, g.lat_axis);
  nc.put(lon_var, g.lon_axis);
}

// Contract: writes the full-set file and the rain-only file of one hour on
// grid `g`.  Fields: T2 = mean + 5 K * cos(local solar phase, peak at
// 15 h); Q2 follows it by 5 %; the wind turns once a day; rain from the
// storms.  Cost O(cells) plus compression.
void write_hour(const ForcingGrid& g, const Statics& st, const std::vector<Storm>& storms, int hour,
                const std::string& full_path, const std::string& rain_path, std::vector<float>& work,
                std::vector<float>& rain) {
  const std::size_t n = g.lat.size();
  std::fill(rain.begin(), rain.end(), 0.0f);
  for (const Storm& s : storms) add_storm(g, s, hour, rain);
  for (float& r : rain) r = trimmed(r, 10);
  double sine = 0, cosine = 0;
  det_sincos_turns((hour - 15.0) / 24.0, sine, cosine);
  const auto ca = static_cast<float>(cosine), sa = static_cast<float>(sine);
  auto phase_cos = [&](std::size_t k) { return ca * st.cos_lon[k] - sa * st.sin_lon[k]; };
  auto phase_sin = [&](std::size_t k) { return sa * st.cos_lon[k] + ca * st.sin_lon[k]; };

  {
    NcOut nc(full_path, NcFormat::compressed);
    int lat_var = -1, lon_var = -1;
    const FileDims d = define_grid(nc, g, lat_var, lon_var);
    const int u = field_var(nc, g, d, "U10", "m s-1");
    const int v = field_var(nc, g, d, "V10", "m s-1");
    const int t = field_var(nc, g, d, "T2", "K");
    const int q = field_var(nc, g, d, "Q2", "kg kg-1");
    const int r = field_var(nc, g, d, "RAINRATE", "mm s-1");
    nc.att(NC_GLOBAL, "valid_time", hour_label(hour));
    nc.enddef();
    put_axes(nc, g, lat_var, lon_var);
    for (std::size_t k = 0; k < n; ++k) work[k] = trimmed(st.u0[k] + 1.5f * phase_cos(k), 12);
    put_block(nc, g, u, work);
    for (std::size_t k = 0; k < n; ++k) work[k] = trimmed(st.v0[k] + 1.5f * phase_sin(k), 12);
    put_block(nc, g, v, work);
    for (std::size_t k = 0; k < n; ++k) work[k] = trimmed(st.t0[k] + 5.0f * phase_cos(k), 12);
    put_block(nc, g, t, work);
    for (std::size_t k = 0; k < n; ++k) work[k] = trimmed(st.q0[k] * (1.0f + 0.05f * phase_cos(k)), 12);
    put_block(nc, g, q, work);
    put_block(nc, g, r, rain);
    nc.commit();
  }
  {
    NcOut nc(rain_path, NcFormat::compressed);
    int lat_var = -1, lon_var = -1;
    const FileDims d = define_grid(nc, g, lat_var, lon_var);
    const int r = field_var(nc, g, d, "RAIN", "mm");
    nc.att(NC_GLOBAL, "valid_time", hour_label(hour));
    nc.enddef();
    put_axes(nc, g, lat_var, lon_var);
    for (std::size_t k = 0; k < n; ++k) work[k] = trimmed(rain[k] * 3600.0f, 10);
    put_block(nc, g, r, work);
    nc.commit();
  }
}

}  // namespace

std::vector<std::string> forcing_folders() {
  return {"forcing", "forcing/latlon_full", "forcing/latlon_rain", "forcing/lambert_full",
          "forcing/lambert_rain"};
}

void write_site_lists(const Preset& p, std::uint64_t seed, const std::string& dir,
                      void (*progress)(const char*)) {
  write_sites(p, seed, dir);
  if (progress != nullptr) progress("site lists");
}

void write_forcing(const Preset& p, std::uint64_t seed, const std::string& dir, bool lambert,
                   void (*progress)(const char*)) {
  const std::vector<Storm> storms = make_storms(p, seed);
  const ForcingGrid g = lambert ? lambert_grid(p) : latlon_grid(p);
  const Statics st = make_statics(g, seed);
  std::vector<float> work(g.lat.size()), rain(g.lat.size());
  const std::string base = dir + (lambert ? "/forcing/lambert_" : "/forcing/latlon_");
  for (int h = 0; h < p.forcing_hours; ++h) {
    std::string name(1, '/');
    name += hour_label(h);
    name += kForcingSuffix;
    write_hour(g, st, storms, h, base + "full" + name, base + "rain" + name, work, rain);
  }
  if (progress != nullptr) progress(lambert ? "Lambert forcing" : "latitude-longitude forcing");
}

}  // namespace sb
