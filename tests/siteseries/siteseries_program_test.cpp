// siteseries end to end: command line, both site lists, both grids, both
// contents, the hourly loop and its files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "forcing_fixture.hpp"
#include "map_projection.hpp"
#include "nc_file.hpp"
#include "nc_test_support.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using rn::test::expected_line;
using rn::test::read_file;
using rn::test::write_file;

const double kNoValue = std::nan("");

class SiteSeries : public ::testing::Test {
 protected:
  rn::test::ScratchDir dir_;
  fs::path in_ = dir_ / "in";

  void SetUp() override { fs::create_directory(in_); }

  rn::test::RunResult run(const std::string& us, const std::string& grid, const std::string& start,
                          const std::string& hours, const std::string& list = "sites.txt") {
    return rn::test::run("siteseries", {us, grid, start, hours, ".nc", in_.string(), list},
                         dir_.path());
  }
  std::string output(const std::string& label) { return read_file(dir_ / (label + ".txt")); }
  bool has_output(const std::string& label) { return fs::exists(dir_ / (label + ".txt")); }
};

// 8 x 7 points from 50N (north to south, 0.5 degree) and 110W (0.5 degree):
// U10 = i + 10 j is linear, V10 = i^2 + j quadratic, so both are reproduced.
rn::test::ForcingGrid north_to_south() {
  return rn::test::latlon_grid(8, 7, 50.0f, -0.5f, -110.0f, 0.5f);
}
std::vector<rn::test::ForcingVar> winds(float t2 = 273.5f, float q2 = 0.00611f,
                                        float rate = 0.001f) {
  return rn::test::full_set([](int i, int j) { return static_cast<float>(i + 10 * j); },
                            [](int i, int j) { return static_cast<float>(i * i + j); }, t2, q2,
                            rate);
}

constexpr const char* kUsList =
    "zip lat lon city state\n"
    "80301 49.5 -109.5 \"Boulder Town\" CO\n"     // grid point (2, 2)
    "80302,48.0,-109.75,Edge,CO\n"                 // x = 1.5, y = 5: asterisks
    "80303 48.0 -110.5 West CO\n"                  // x = 0: no line
    "123 49.0 -107.0 'East, Edge' CO extra\n"      // x = ix - 1 = 7, y = 3
    "\n"
    "12345678 48.375 -108.75 Mid CO\n";            // (3.5, 4.25)

TEST_F(SiteSeries, UsListOnANorthToSouthGridWithEdgeSites) {
  rn::test::write_forcing(in_ / "2015123122.nc", north_to_south(), winds());
  write_file(dir_ / "sites.txt", kUsList);
  const auto r = run("1", "1", "2015123122", "1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " narg =            7\n  check rainOnly            0\n");
  EXPECT_EQ(r.err, "");
  const std::string l = "2015123122";
  EXPECT_EQ(output(l),
            expected_line(l, {3.6, 22, 6, 273.5, 0.00611, 100.0}, 1, "80301", "Boulder Town",
                          "CO", 49.5, 250.5) +
                expected_line(l, std::vector<double>(6, kNoValue), 2, "80302", "Edge", "CO", 48.0,
                              250.25) +
                expected_line(l, {3.6, 37, 52, 273.5, 0.00611, 100.0}, 4, "123", "East, Edge",
                              "CO", 49.0, 253.0) +
                expected_line(l, {3.6, 46, 16.5, 273.5, 0.00611, 100.0}, 5, "12345", "Mid", "CO",
                              48.375, 251.25));
}

TEST_F(SiteSeries, WorldListRainOnlyWithFirstLongitudeMinus180) {
  // 5 x 5 points: latitudes 30 to 10 (north to south), longitudes -180 to
  // -140; the first longitude counts as 180, so 10E lies west of the grid.
  rn::test::write_forcing(in_ / "2016010100.nc",
                          rn::test::latlon_grid(5, 5, 30.0f, -5.0f, -180.0f, 10.0f),
                          {{"RAIN", [](int i, int j) { return 100.0f * i + j; }}});
  write_file(dir_ / "sites.txt",
             "name skip lat lon country\n"
             "\"Wake, Atoll\" x 20 -170 \"Pacific Islands\"\n"
             "Paris x 20 10 France\n"
             "Tahiti 1 25 -165.0 \"French Polynesia and beyond\"\n");
  const auto r = run("2", "1", "2016010100", "1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, " narg =            7\n  check rainOnly            1\n");
  const std::string l = "2016010100";
  EXPECT_EQ(output(l), expected_line(l, {203}, 1, "00000", "Wake, Atoll", "Pacific Islands",
                                     20.0, 190.0) +
                           expected_line(l, {252}, 3, "00000", "Tahiti", "French Polynesia and",
                                         25.0, 195.0));
}

TEST_F(SiteSeries, LambertGridPlacesSitesByTheFixedProjection) {
  rn::test::ForcingGrid grid;
  grid.latlon = false;
  grid.nx = 12;
  grid.ny = 10;
  rn::test::write_forcing(in_ / "2016022900.nc", grid,
                          rn::test::full_set([](int i, int j) { return i + 10.0f * j; },
                                             [](int, int j) { return 0.5f * j; }));
  // Sites near chosen grid positions, written with five decimals; their
  // exact positions follow from the texts by the fixed projection.
  std::string list = "city skip lat lon country\n";
  const std::vector<std::pair<float, float>> targets{{3.3f, 4.6f}, {10.8f, 8.2f}, {-0.5f, 5.0f}};
  std::vector<std::pair<float, float>> positions;
  for (std::size_t k = 0; k < targets.size(); ++k) {
    const auto [lat, lon] =
        rn::grid_to_latlon(targets[k].first, targets[k].second, rn::kSiteLambertGrid);
    char row[128], lat_text[32], lon_text[32];
    std::snprintf(lat_text, sizeof lat_text, "%.5f", lat);
    std::snprintf(lon_text, sizeof lon_text, "%.5f", lon);
    std::snprintf(row, sizeof row, "S%zu 0 %s %s US\n", k + 1, lat_text, lon_text);
    list += row;
    const float stored_lon = std::strtof(lon_text, nullptr);
    const auto [x, y] = rn::latlon_to_grid(std::strtof(lat_text, nullptr),
                                           stored_lon < 0 ? stored_lon + 360.0f : stored_lon,
                                           rn::kSiteLambertGrid);
    EXPECT_NEAR(x, targets[k].first, 0.01f);
    positions.emplace_back(x, y);
  }
  write_file(dir_ / "sites.txt", list);
  const auto r = run("0", "0", "2016022900", "1");
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string text = output("2016022900");
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2);  // x = -0.5 gets no line
  for (std::size_t k = 0; k < 2; ++k) {
    const std::string line = text.substr(k * 184, 184);
    EXPECT_EQ(line.substr(0, 12), "2016022900 ,");
    // U10 = x + 10 y at the site's position.
    const double u10 = std::atof(line.substr(26, 12).c_str());
    EXPECT_NEAR(u10, positions[k].first + 10.0 * positions[k].second, 2e-4) << line;
    const std::string n = std::to_string(k + 1);
    EXPECT_EQ(line.substr(96, 37), "       " + n + " ,00000 ,S" + n + std::string(18, ' '));
  }
}

TEST_F(SiteSeries, HoursAcrossTheYearEndWithAMissingHour) {
  rn::test::write_forcing(in_ / "2015123122.nc", north_to_south(), winds());
  rn::test::write_forcing(in_ / "2016010100.nc", north_to_south(), winds());
  rn::test::write_forcing(in_ / "2016010101.nc", north_to_south(), winds());  // beyond hrs
  write_file(dir_ / "sites.txt", kUsList);
  const auto r = run("1", "1", "2015123122", "3");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_output("2015123122"));
  EXPECT_FALSE(has_output("2015123123"));  // no forcing file: nothing, silently
  EXPECT_TRUE(has_output("2016010100"));
  EXPECT_FALSE(has_output("2016010101"));
  EXPECT_EQ(output("2016010100").substr(0, 12), "2016010100 ,");
  EXPECT_EQ(r.out, " narg =            7\n  check rainOnly            0\n");
}

TEST_F(SiteSeries, HoursAcrossTheLeapDay) {
  const std::vector<std::string> hours{"2016022823", "2016022900", "2016022923", "2016030100"};
  for (const std::string& h : hours) {
    rn::test::write_forcing(in_ / (h + ".nc"), north_to_south(), winds());
  }
  write_file(dir_ / "sites.txt", kUsList);
  const auto r = run("1", "1", "2016022823extra", "26");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> written;
  for (const auto& e : fs::directory_iterator(dir_.path())) {
    const std::string name = e.path().filename().string();
    if (name.size() == 14 && name.ends_with(".txt")) written.push_back(name.substr(0, 10));
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, hours);
  for (const std::string& h : hours) EXPECT_EQ(output(h).substr(0, 10), h);
}

TEST_F(SiteSeries, ExistingOutputsAreKeptAndLaterHoursMatchAFreshRun) {
  // Hour 3 lacks U10 and RAINRATE: its line holds hour 2's values.
  rn::test::write_forcing(in_ / "2016010100.nc", north_to_south(), winds(273.5f, 0.00611f, 0.001f));
  rn::test::write_forcing(in_ / "2016010101.nc", north_to_south(), winds(280.0f, 0.005f, 0.002f));
  auto partial = winds(290.0f, 0.004f, 0.003f);
  partial.erase(partial.begin());
  partial.pop_back();
  rn::test::write_forcing(in_ / "2016010102.nc", north_to_south(), partial);
  write_file(dir_ / "sites.txt", kUsList);

  const auto fresh = run("1", "1", "2016010100", "3");
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  const std::string hour2 = output("2016010101");
  const std::string hour3 = output("2016010102");
  const std::string missing = in_.string() + "/2016010102.nc\n";
  EXPECT_EQ(fresh.out, " narg =            7\n  check rainOnly            0\n"
                       " get2d_real: failed to find the variables: U10 and U10_M in " + missing +
                       " get2d_real: failed to find the variables: RAINRATE and RAINRATE_M in " +
                       missing);
  // Rain rate 0.002 mm/s of hour 2 is 7.2 mm/h, scaled once; U10 as hour 2.
  EXPECT_EQ(hour3.substr(0, 40), "2016010102 ,    7.200000 ,   22.000000 ,");
  // A rerun with the first two outputs present keeps them as they are and
  // writes the third exactly as the fresh run did.
  write_file(dir_ / "2016010100.txt", "kept\n");
  fs::remove(dir_ / "2016010102.txt");
  const auto rerun = run("1", "1", "2016010100", "3");
  EXPECT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_EQ(rerun.out, fresh.out);
  EXPECT_EQ(output("2016010100"), "kept\n");
  EXPECT_EQ(output("2016010101"), hour2);
  EXPECT_EQ(output("2016010102"), hour3);
  for (const auto& e : fs::directory_iterator(dir_.path())) {
    EXPECT_NE(e.path().filename().string()[0], '.') << "temporary left: " << e.path();
  }
}

TEST_F(SiteSeries, HeaderOnlyListGivesEmptyHourlyFiles) {
  rn::test::write_forcing(in_ / "2016010100.nc", north_to_south(), winds());
  write_file(dir_ / "sites.txt", "zip lat lon city state\n");
  const auto r = run("1", "1", "2016010100", "1");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(has_output("2016010100"));
  EXPECT_EQ(output("2016010100"), "");
}

TEST_F(SiteSeries, UsageAndArgumentFailures) {
  auto r = rn::test::run("siteseries", {"1", "1"}, dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " narg =            2\n"
                   " Usage: usArea,latlonType,startDate,Hrs,suffix,inDir,pointFile\n");
  EXPECT_EQ(r.err, "");
  r = rn::test::run("siteseries", {}, dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, 21), " narg =            0\n");
  r = run("1", "1", "2016010100", "many");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Hrs"), std::string::npos) << r.err;
  r = rn::test::run("siteseries", {"--series"}, dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error: --series needs a file name\n");
}

// A start date that is no date and hour, or fewer than one hour, is refused
// before any file is opened (here the site list is missing: a date that
// passes goes on to report it).
TEST_F(SiteSeries, StartDateAndHoursAreCheckedBeforeAnyFile) {
  struct Case {
    const char* start;
    const char* hours;
    const char* error;
  };
  const std::string missing_list = "Error: site list sites.txt does not exist\n";
  const std::string bad_start = "\" does not begin with a date and hour YYYYMMDDHH (e.g. 2016010100)\n";
  for (const Case& c : {Case{"20160101", "1", ""}, Case{"2016010124", "1", ""},
                        Case{"2015022900", "1", ""}, Case{"2016023000", "1", ""},
                        Case{"2016130100", "1", ""}, Case{"201601010x", "1", ""},
                        Case{"2016010100", "0", "Error: Hrs must be 1 or more, not 0\n"},
                        Case{"2016010100", "-3", "Error: Hrs must be 1 or more, not -3\n"},
                        Case{"2016022900", "1", nullptr}, Case{"2016123123 UTC", "1", nullptr},
                        Case{"2000022900", "1", nullptr}}) {
    SCOPED_TRACE(std::string(c.start) + " " + c.hours);
    const auto r = run("1", "1", c.start, c.hours);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, " narg =            7\n");
    const std::string error = c.error == nullptr ? missing_list
                              : *c.error != '\0' ? std::string(c.error)
                                                 : "Error: startDate \"" + std::string(c.start) + bad_start;
    EXPECT_EQ(r.err, error);
  }
}

// The values of a series file, time-major, read back.
std::vector<float> series_values(const fs::path& file, const char* var) {
  rn::NcFile nc;
  int id = -1;
  std::size_t count = 0;
  EXPECT_EQ(nc.open(file.string()), NC_NOERR);
  EXPECT_EQ(nc.var_id(var, id), NC_NOERR) << var;
  nc.var_count(id, count);
  std::vector<float> values(count);
  EXPECT_EQ(nc.read(id, std::span<float>(values)), NC_NOERR);
  return values;
}

// The series file holds, for every hour and site, the 32-bit values that the
// hourly lines print (rounded there), and the fill value where an hour has
// no forcing file or a site gets no line or asterisks.
TEST_F(SiteSeries, SeriesFileHoldsTheValuesOfTheHourlyLines) {
  rn::test::write_forcing(in_ / "2016010100.nc", north_to_south(), winds(273.5f, 0.00611f, 0.001f));
  rn::test::write_forcing(in_ / "2016010102.nc", north_to_south(), winds(280.0f, 0.005f, 0.002f));
  write_file(dir_ / "sites.txt", kUsList);
  const auto hourly = run("1", "1", "2016010100", "3");
  ASSERT_EQ(hourly.status, 0) << hourly.err;
  const auto series = rn::test::run(
      "siteseries", {"--series", "out/s.nc", "1", "1", "2016010100", "3", ".nc", in_.string(),
                     "sites.txt"}, dir_.path());
  EXPECT_EQ(series.status, 1);  // the folder out/ does not exist
  fs::create_directory(dir_ / "out");
  const auto r = rn::test::run("siteseries", {"--series", "out/s.nc", "1", "1", "2016010100", "3",
                                              ".nc", in_.string(), "sites.txt"}, dir_.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, hourly.out);
  EXPECT_EQ(rn::test::entries(dir_ / "out"), std::vector<std::string>{"s.nc"});

  const char* names[] = {"precipitation", "u10", "v10", "t2", "q2", "relative_humidity"};
  const std::size_t sites = 5;
  for (int q = 0; q < 6; ++q) {
    SCOPED_TRACE(names[q]);
    const std::vector<float> values = series_values(dir_ / "out/s.nc", names[q]);
    ASSERT_EQ(values.size(), 3 * sites);
    for (int hour : {0, 1, 2}) {
      const std::string label = "201601010" + std::to_string(hour);
      std::vector<std::string> lines;  // the hour's lines by site, "" for none
      if (has_output(label)) {
        std::istringstream text(output(label));
        lines.assign(sites, "");
        for (std::string line; std::getline(text, line);) lines[std::stoi(line.substr(96, 8)) - 1] = line;
      }
      for (std::size_t i = 0; i < sites; ++i) {
        const float v = values[hour * sites + i];
        const std::string field = lines.empty() || lines[i].empty() ? "" : lines[i].substr(12 + 14 * q, 12);
        if (field.empty() || field[0] == '*') {
          EXPECT_EQ(v, -1.0e33f) << label << " site " << i + 1;
          continue;
        }
        char printed[32];
        std::snprintf(printed, sizeof printed, q == 5 ? "%12.1f" : "%12.6f", static_cast<double>(v));
        EXPECT_EQ(printed, field) << label << " site " << i + 1;
      }
    }
  }
  const std::string header = rn::test::ncdump(dir_ / "out/s.nc", "-h");
  for (const char* text : {"time = UNLIMITED ; // (3 currently)", "station = 5 ;",
                           "time:units = \"hours since 2016-01-01 00:00:00\"",
                           "station:cf_role = \"timeseries_id\"", "name:_Encoding = \"utf-8\"",
                           ":featureType = \"timeSeries\"",
                           "precipitation:units = \"mm h-1\"", "char zip(station, zip_strlen)"}) {
    EXPECT_NE(header.find(text), std::string::npos) << text << "\n" << header;
  }
}

// A rain-only series fills precipitation alone; the world list's code and
// country stand beside the names.
TEST_F(SiteSeries, RainOnlySeriesFillsOnlyPrecipitation) {
  rn::test::write_forcing(in_ / "2016010100.nc", north_to_south(),
                          {{"RAIN", [](int i, int j) { return static_cast<float>(i + j); }}});
  write_file(dir_ / "sites.txt", "city code lat lon country\nA X7 49.5 -109.5 C1\nB Y 48.0 -109.0 C2\n");
  const auto r = rn::test::run("siteseries", {"--series", "s.nc", "2", "1", "2016010100", "2", ".nc",
                                              in_.string(), "sites.txt"}, dir_.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(series_values(dir_ / "s.nc", "precipitation"),
            (std::vector<float>{4.0f, 8.0f, -1.0e33f, -1.0e33f}));
  EXPECT_EQ(series_values(dir_ / "s.nc", "u10"), std::vector<float>(4, -1.0e33f));
  const std::string dump = rn::test::ncdump(dir_ / "s.nc", "-v code,country");
  EXPECT_NE(dump.find("code =\n  \"X7\",\n  \"Y\" ;"), std::string::npos) << dump;
  EXPECT_NE(dump.find("country =\n  \"C1\",\n  \"C2\" ;"), std::string::npos) << dump;
}

TEST_F(SiteSeries, MissingSiteListIsNamedAndNeverCreated) {
  rn::test::write_forcing(in_ / "2016010100.nc", north_to_south(), winds());
  const auto r = run("1", "1", "2016010100", "1", "nowhere.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " narg =            7\n");
  EXPECT_NE(r.err.find("nowhere.txt"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "nowhere.txt"));
  EXPECT_FALSE(has_output("2016010100"));
}

TEST_F(SiteSeries, SetUpFailuresOfTheStartHourFile) {
  const std::string kNoDimension = "NetCDF: Invalid dimension ID or name";
  write_file(dir_ / "sites.txt", kUsList);
  // No start-hour file.
  auto r = run("1", "1", "2016010100", "1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " narg =            7\n checkRainType failed to open the netcdf file: " +
                       in_.string() + "/2016010100.nc\n");
  EXPECT_EQ(r.err, "siteseries: " + in_.string() + "/2016010100.nc: No such file or directory\n");
  // lat_0 without lon_0.
  rn::test::write_cdl(in_ / "2016010101.nc",
                      "netcdf x { dimensions: lat_0 = 3 ; x = 4 ; variables: float RAIN(lat_0, x) ; }");
  r = run("1", "1", "2016010101", "1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "siteseries: " + in_.string() + "/2016010101.nc: lon_0: " + kNoDimension +
                       "\nSTOP Error: getting file dimension lon_0 (the file has lat_0)\n");
  // Neither grid.
  rn::test::write_cdl(in_ / "2016010102.nc",
                      "netcdf x { dimensions: y = 3 ; x = 4 ; variables: float RAIN(y, x) ; }");
  r = run("1", "1", "2016010102", "1");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "siteseries: " + in_.string() + "/2016010102.nc: lat_0 or xgrid_0: " +
                       kNoDimension + "\nSTOP Error: getting file dimension\n");
  EXPECT_FALSE(has_output("2016010102"));
}

}  // namespace
