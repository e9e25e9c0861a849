// NaN and infinite values in every real field the programs read, in netCDF
// variables and attributes and in the numbers of the text lists.  Values
// that only pass through the arithmetic (streamflow, weights, forcing
// fields, point coordinates) give a complete output; values that place a
// grid (projection anchors, corners, grid spacing) or condition terrain end
// the run with a message.
#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

#include "hostile_support.hpp"

namespace rn::test::hostile {
namespace {

// A real field: "var" of a file, or "var:att" / ":att" for an attribute.
struct Field {
  const char* file;
  const char* name;
};

struct Row {
  std::string name;            // program case
  std::vector<Field> fields;   // all made non-finite in one run
  int status;                  // 0: the run completes
  const char* message;
};

constexpr const char* kPoints = "channel/points_2016010100.nc";
constexpr const char* kLatLon = "forcing/latlon_full/2016010100.forcing.nc";
constexpr const char* kCorner = "corner cell (1, 1) of the child grid has no place on the parent grid";
constexpr const char* kAnchor = "cell (1, 1) of parent/parent_geo.nc has no valid latitude and longitude";

const std::vector<Row>& rows() {
  static const std::vector<Row> all = {
      // Weights pass into the mapping; the centre of the Lambert conformal
      // projection is not used by it.
      {"linkweaver",
       {{"parent/parent_overlap.nc", "regridweight"}, {"parent/parent_geo.nc", ":CEN_LAT"},
        {"parent/parent_geo.nc", ":CEN_LON"}},
       0, ""},
      {"linkweaver", {{"child/child_grid.nc", "LATITUDE"}}, 1, kCorner},
      {"linkweaver", {{"child/child_grid.nc", "LONGITUDE"}}, 1, kCorner},
      {"linkweaver", {{"parent/parent_geo.nc", "XLAT_M"}}, 1, kAnchor},
      {"linkweaver", {{"parent/parent_geo.nc", "XLONG_M"}}, 1, kAnchor},
      // Each alone makes every parent grid coordinate non-finite.
      {"linkweaver", {{"parent/parent_geo.nc", ":TRUELAT1"}}, 1, kCorner},
      {"linkweaver", {{"parent/parent_geo.nc", ":TRUELAT2"}}, 1, kCorner},
      {"linkweaver", {{"parent/parent_geo.nc", ":STAND_LON"}}, 1, kCorner},

      // A stored NaN is a missing value: left out of its node's mean.
      {"reachfeed", {{"channel/reach_2016010100.nc", "streamflow"}}, 0,
       "missing (fill value or NaN), left out: "},
      {"reachfeed", {{"channel/reach_2016010100.nc", "streamflow:scale_factor"}}, 0,
       "streamflow of vorl =               NaN"},
      {"reachfeed", {{"mapping.nc", "weight"}}, 0, "streamflow of vorl = "},
      {"cellfeed", {{kPoints, "streamflow"}, {"cellfeed/mapping.nc", "weight"}}, 0, ""},

      {"flowglobe", {{kPoints, "streamflow"}, {kPoints, "latitude"}, {kPoints, "longitude"}}, 0, ""},
      {"flowglobe_max", {{kPoints, "acc_streamflowMax"}, {kPoints, "latitude"}, {kPoints, "longitude"}}, 0, ""},
      {"flowglobe_drv1", {{kPoints, "streamflow"}, {kPoints, "latitude"}, {kPoints, "longitude"}}, 0, ""},
      {"flowglobe_seg", {{"seg_info.nc", "chlat"}, {"seg_info.nc", "chlon"}}, 0, ""},

      {"siteseries",
       {{kLatLon, "U10"}, {kLatLon, "V10"}, {kLatLon, "T2"}, {kLatLon, "Q2"}, {kLatLon, "RAINRATE"}},
       0, ""},
      // A grid without a real first point or spacing places no site on it.
      {"siteseries", {{kLatLon, "lat_0"}, {kLatLon, "lon_0"}}, 0, ""},
      {"siteseries_rain", {{"forcing/lambert_rain/2016010103.forcing.nc", "RAIN"}}, 0, ""},

      {"bedcarve", {{"child/terrain.nc", "HGT_M"}}, 1, "wrong big minv for modify height"},
      // Stored as reals, read as integers: NaN has no integer.
      {"bedcarve", {{"child/terrain.nc", "LANDMASK"}}, 231,
       "get2d_int: failed to read the variable: LANDMASK in child/terrain.nc"},
  };
  return all;
}

void make_non_finite(const Workspace& w, const Field& f) {
  NcEdit edit;
  const std::string name = f.name;
  if (name.find(':') != std::string::npos) {
    edit.real_atts[name] = std::numeric_limits<float>::quiet_NaN();
  } else {
    edit.values_var = name;
    edit.values = non_finite_pattern;
  }
  damage_nc(w / f.file, edit);
}

TEST(NonFinite, EveryRealField) {
  std::set<std::string> covered;
  for (const Row& row : rows()) {
    covered.insert(row.name);
    std::string fields;
    for (const Field& f : row.fields) fields += std::string(" ") + f.file + " " + f.name;
    SCOPED_TRACE(row.name + fields);
    Workspace w(program_case(row.name));
    for (const Field& f : row.fields) make_non_finite(w, f);
    expect_end(w, w.run(), row.status, row.message);
  }
  for (const std::string& name : netcdf_case_names()) EXPECT_EQ(covered.count(name), 1u) << name;
}

// ---- numbers in text lists ----

// Replaces the first occurrence of `from` in a text file.
void edit_text(const fs::path& file, const std::string& from, const std::string& to) {
  std::string text = read_file(file);
  const auto at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from << " not in " << file;
  text.replace(at, from.size(), to);
  write_file(file, text);
}

// Stations with NaN and infinite coordinates are written as they are read.
TEST(NonFiniteInLists, StationCoordinates) {
  for (const char* name : {"gaugeglobe", "flowglobe_seg"}) {
    SCOPED_TRACE(name);
    Workspace w(program_case(name));
    edit_text(w / "station_list.txt", "40.04063 -99.87600", "NaN -Infinity");
    edit_text(w / "station_list.txt", "39.95925 -99.87614", "inf nan");
    const Outcome o = w.run();
    expect_completed(w, o);
    const std::string doc = read_file(w / program_case(name).output);
    EXPECT_NE(doc.find("NaN"), std::string::npos);
    EXPECT_NE(doc.find("-Infinity"), std::string::npos);
  }
}

// A site without a real position gets no line, or a line of asterisks.
TEST(NonFiniteInLists, SiteCoordinates) {
  {
    Workspace w(program_case("siteseries"));
    edit_text(w / "sites_us.txt", "23574 22.0320 -122.6990", "23574 NaN -122.6990");
    edit_text(w / "sites_us.txt", "47308 22.0407 -122.7141", "47308 22.0407 Infinity");
    const Outcome o = w.run();
    expect_completed(w, o);
    const std::string hour = read_file(w / "out/2016010100.txt");
    EXPECT_EQ(hour.find(",23574 ,"), std::string::npos) << "a site at NaN has no place";
    EXPECT_NE(hour.find("************ ,       2 ,47308"), std::string::npos);
  }
  {
    Workspace w(program_case("siteseries_rain"));
    edit_text(w / "sites_world.txt", "DL 22.0320 -122.6990", "DL nan -inf");
    expect_completed(w, w.run());
  }
}

// The grid spacing of the namelist must be a positive finite length.
TEST(NonFiniteInLists, NamelistGridSpacing) {
  for (const char* dxkm : {"NaN", "1e39"}) {  // 1e39 is beyond the 32-bit range: infinite
    SCOPED_TRACE(dxkm);
    Workspace w(program_case("linkweaver"));
    edit_text(w / "namelist.nesting", "dxkm = 1.0", std::string("dxkm = ") + dxkm);
    expect_refused(w, w.run(), 1,
                   "In readnamelist() - dxkm must be a positive, finite parent grid spacing in km");
  }
}

}  // namespace
}  // namespace rn::test::hostile
