// The site series as one CF-1.8 time-series file (featureType timeSeries,
// the orthogonal layout: every site has every hour).
//
// Layout (netCDF-4):
//   dimensions  time (unlimited, one record per hour of the run), station
//               (the sites in list order), name_strlen and zip_strlen or
//               code_strlen for the site texts
//   time(time)               hours since the start hour (UTC)
//   station(station)         the site's number in the list, 1 upward: the
//                            series id (names may repeat)
//   lat, lon(station)        as the site list gives them (lon 0 to 360)
//   name, zip|code, state|country(station, *_strlen), UTF-8 texts marked so
//   precipitation, u10, v10, t2, q2, relative_humidity(time, station), float
//
// Why this shape.  A year at 40,000 sites holds 8760 x 40,000 values per
// variable, about 8 GB in all.  The run makes one hour at a time, and users
// read one site's whole series.  Time is the record dimension, first, so
// that the file grows hour by hour and the common operators join the files
// of several blocks of hours along it; the values are stored in chunks of
// kTimeChunk hours by kStationChunk sites (64 kB), so that one site's year
// is 69 chunks of each variable instead of 8760 scattered values (a record
// layout of the classic format would need one read per hour).  The run
// gathers kTimeChunk hours in memory (6 x 128 x sites values, 123 MB at
// 40,000 sites) and writes them as whole chunks: every chunk is written
// once, never read back, so the file is made in one pass.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "cf_metadata.hpp"
#include "file_names.hpp"
#include "interpolation.hpp"
#include "nc_writer.hpp"
#include "siteseries.hpp"
#include "utf8.hpp"

namespace rn::siteseries {

namespace {

constexpr std::size_t kTimeChunk = 128;
constexpr std::size_t kStationChunk = 128;
constexpr char kTitle[] = "hourly forcing interpolated at sites";

struct Quantity {
  const char* name;
  const char* long_name;
  const char* units;
  const char* standard_name;  // empty when the quantity has none in these units
};

// The columns of the hourly lines, in their order.
constexpr std::array<Quantity, 6> kQuantities = {{
    {"precipitation", "precipitation in the hour", "mm h-1", ""},
    {"u10", "eastward wind at 10 m", "m s-1", "eastward_wind"},
    {"v10", "northward wind at 10 m", "m s-1", "northward_wind"},
    {"t2", "air temperature at 2 m", "K", "air_temperature"},
    {"q2", "water vapour mixing ratio at 2 m", "kg kg-1", "humidity_mixing_ratio"},
    {"relative_humidity", "relative humidity at 2 m", "%", "relative_humidity"},
}};
constexpr std::size_t kPrecipitation = 0;

// "hours since YYYY-MM-DD HH:00:00" of a start label YYYYMMDDHH.
std::string time_units(std::string_view label) {
  std::string units = "hours since ";
  units.append(label.substr(0, 4)).append("-").append(label.substr(4, 2)).append("-");
  units.append(label.substr(6, 2)).append(" ").append(label.substr(8, 2)).append(":00:00");
  return units;
}

// A text variable of the sites: its name, long name, width in bytes and the
// site's text it holds.
struct SiteText {
  const char* name;
  const char* long_name;
  std::size_t width;
  std::string Site::*text;
};

// The text variables of a site list's layout, in file order.
std::array<SiteText, 3> site_text_variables(bool us) {
  if (us) {
    return {{{"name", "site name", kSiteNameWidth, &Site::city},
             {"zip", "zip code", kZipWidth, &Site::zip},
             {"state", "state", kSiteNameWidth, &Site::state_or_country}}};
  }
  return {{{"name", "site name", kSiteNameWidth, &Site::city},
           {"code", "site code", kSiteTextWidth, &Site::code},
           {"country", "country", kSiteNameWidth, &Site::state_or_country}}};
}

// One text per site, its trailing blanks removed, each in `width` bytes
// padded with NULs; `utf8` tells whether every text so cut is UTF-8.
std::vector<char> site_texts(const std::vector<Site>& sites, const SiteText& v, bool& utf8) {
  std::vector<char> chars(sites.size() * v.width, '\0');
  utf8 = true;
  for (std::size_t i = 0; i < sites.size(); ++i) {
    std::string_view t = trim_right(sites[i].*v.text);
    t = t.substr(0, std::min(t.size(), v.width));
    utf8 = utf8 && is_utf8(t);
    std::copy(t.begin(), t.end(), chars.begin() + i * v.width);
  }
  return chars;
}

class SeriesFile {
 public:
  SeriesFile(const std::string& path, const SiteSeries& m);
  /// Adds the next hour: the sites' values when the hour's fields were read,
  /// else fill values throughout.
  void add_hour(const SiteSeries& m, bool has_forcing);
  /// Writes the hours still gathered and puts the file in place.
  void finish();

 private:
  void define_sites(const SiteSeries& m, int station);
  void flush();

  NcWriter nc_;
  std::size_t sites_ = 0;
  std::size_t quantities_ = 0;  // 1 for a rain-only series, else 6
  std::size_t block_ = 0;       // hours gathered before a write
  std::array<int, kQuantities.size()> var_{};
  int time_ = -1;
  std::size_t written_ = 0;     // hours already in the file
  std::vector<double> hours_;   // time values gathered
  std::array<std::vector<float>, kQuantities.size()> values_;  // hour-major
  std::array<std::vector<char>, 3> texts_;  // the site texts, until written
};

SeriesFile::SeriesFile(const std::string& path, const SiteSeries& m)
    : nc_(path, 0, CreateFailure::failure_status, NcFormat::netcdf4),
      sites_(m.sites.size()),
      quantities_(m.rain_only == 1 ? 1 : kQuantities.size()),
      block_(std::min<std::size_t>(kTimeChunk, static_cast<std::size_t>(std::max(m.hrs, 1)))) {
  const int time = nc_.def_dim("time", 0);
  const int station = nc_.def_dim("station", sites_);
  time_ = nc_.def_var("time", NcVarType::real64, {time});
  nc_.put_att(time_, "standard_name", "time");
  describe(nc_, time_, "time (UTC)", time_units(m.startdate));
  nc_.put_att(time_, "calendar", "standard");
  nc_.put_att(time_, "axis", "T");
  define_sites(m, station);

  const std::array<std::size_t, 2> chunk{block_, std::max<std::size_t>(1, std::min(kStationChunk, sites_))};
  for (std::size_t q = 0; q < kQuantities.size(); ++q) {
    const Quantity& k = kQuantities[q];
    var_[q] = nc_.def_var(k.name, NcVarType::real32, {time, station});
    nc_.def_chunking(var_[q], chunk);
    describe(nc_, var_[q], k.long_name, k.units);
    if (*k.standard_name != '\0') nc_.put_att(var_[q], "standard_name", k.standard_name);
    nc_.put_att(var_[q], "_FillValue", kMissingValue);
    nc_.put_att(var_[q], "coordinates", "lat lon name");
  }
  put_cf_globals(nc_, kTitle);
  nc_.put_att(kGlobalAttributes, "featureType", "timeSeries");
  nc_.enddef();

  // The sites' own variables, whole.
  std::vector<std::int32_t> numbers(sites_);
  std::vector<float> lat(sites_), lon(sites_);
  for (std::size_t i = 0; i < sites_; ++i) {
    numbers[i] = static_cast<std::int32_t>(i + 1);
    lat[i] = m.sites[i].lat;
    lon[i] = m.sites[i].lon;
  }
  nc_.put("station", std::span<const std::int32_t>(numbers));
  nc_.put("lat", std::span<const float>(lat));
  nc_.put("lon", std::span<const float>(lon));
  for (std::size_t k = 0; k < texts_.size(); ++k) {
    nc_.put(site_text_variables(m.usarea == 1)[k].name, std::span<const char>(texts_[k]));
  }
  texts_ = {};

  for (std::size_t q = 0; q < quantities_; ++q) values_[q].reserve(block_ * sites_);
}

void SeriesFile::define_sites(const SiteSeries& m, int station) {
  const bool us = m.usarea == 1;
  const int name_len = nc_.def_dim("name_strlen", kSiteNameWidth);
  const int code_len = nc_.def_dim(us ? "zip_strlen" : "code_strlen", us ? kZipWidth : kSiteTextWidth);

  // The site's number is its id: names may repeat in a list (two towns of
  // one name), numbers never do.
  const int number = nc_.def_var("station", NcVarType::int32, {station});
  describe(nc_, number, "site number in the site list");
  nc_.put_att(number, "cf_role", "timeseries_id");
  const int lat = nc_.def_var("lat", NcVarType::real32, {station});
  nc_.put_att(lat, "standard_name", "latitude");
  describe(nc_, lat, "latitude of the site", "degrees_north");
  const int lon = nc_.def_var("lon", NcVarType::real32, {station});
  nc_.put_att(lon, "standard_name", "longitude");
  describe(nc_, lon, "longitude of the site", "degrees_east");
  // Texts as fixed-width characters; `_Encoding` tells readers such as
  // xarray to show them as strings rather than bytes, where they are UTF-8
  // (a list in another encoding keeps its bytes, undecoded).
  const auto variables = site_text_variables(us);
  for (std::size_t k = 0; k < variables.size(); ++k) {
    const SiteText& v = variables[k];
    bool utf8 = true;
    texts_[k] = site_texts(m.sites, v, utf8);
    const int width = v.width == kSiteNameWidth ? name_len : code_len;
    const int id = nc_.def_var(v.name, NcVarType::text, {station, width});
    describe(nc_, id, v.long_name);
    if (utf8) nc_.put_att(id, "_Encoding", "utf-8");
  }
}

// Contract: appends one hour to the gathered block: for every site with a
// positive position inside the interpolation's interior the values its
// hourly line prints (before rounding), for every other site, and for an
// hour without forcing, the fill value; writes the block when it is full.
// Cost: per site 1 or 5 interpolations.
void SeriesFile::add_hour(const SiteSeries& m, bool has_forcing) {
  hours_.push_back(static_cast<double>(written_ + hours_.size()));
  const std::size_t row = values_[0].size();
  for (std::size_t q = 0; q < quantities_; ++q) values_[q].resize(row + sites_, kMissingValue);
  if (has_forcing) {
    for (std::size_t i = 0; i < sites_; ++i) {
      const float x = m.site_x[i];
      const float y = m.site_y[i];
      if (!(x > 0.0f && y > 0.0f) || !interior(x, y, m.shape)) continue;
      values_[kPrecipitation][row + i] = m.pcp.at(m.shape, x, y);
      if (quantities_ == 1) continue;
      const float t = m.t2.at(m.shape, x, y);
      const float qv = m.q2.at(m.shape, x, y);
      values_[1][row + i] = m.u10.at(m.shape, x, y);
      values_[2][row + i] = m.v10.at(m.shape, x, y);
      values_[3][row + i] = t;
      values_[4][row + i] = qv;
      values_[5][row + i] = humidity(t, qv);
    }
  }
  if (hours_.size() == block_) flush();
}

void SeriesFile::flush() {
  if (hours_.empty()) return;
  const std::array<std::size_t, 1> start_time{written_};
  const std::array<std::size_t, 1> count_time{hours_.size()};
  nc_.put_slab(time_, start_time, count_time, std::span<const double>(hours_));
  const std::array<std::size_t, 2> start{written_, 0};
  const std::array<std::size_t, 2> count{hours_.size(), sites_};
  for (std::size_t q = 0; q < quantities_; ++q) {
    if (sites_ > 0) nc_.put_slab(var_[q], start, count, std::span<const float>(values_[q]));
    values_[q].clear();
  }
  written_ += hours_.size();
  hours_.clear();
}

void SeriesFile::finish() {
  flush();
  nc_.commit();
}

}  // namespace

// Contract: walks the hours as run_hours does; an hour whose forcing file
// exists is read and its values added, any other hour adds fill values.
// The file appears at `path` whole when the last hour is written, or not at
// all.  Cost: as run_hours, with 24 bytes a site and hour written instead of
// a text line.
void run_series(SiteSeries& m, const std::string& path) {
  SeriesFile file(trim_name(path), m);
  walk_hours(m, [&](const std::string&, const std::string& input) {
    const bool has_forcing = file_exists(input);
    if (has_forcing) read_forcing(m, input);
    file.add_hour(m, has_forcing);
  });
  file.finish();
}

}  // namespace rn::siteseries
