// The files of the small sample basin: every file there and nothing else,
// the layouts the programs read, the invariants that make the set coherent,
// determinism, and the programs of the toolkit run on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "list_input.hpp"
#include "map_projection.hpp"
#include "nc_file.hpp"
#include "site_list.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using rn::test::RunResult;
using rn::test::ScratchDir;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string hour(int h) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "20160101%02d", h);
  return buf;
}

template <typename T>
std::vector<T> read_var(const fs::path& file, const char* name) {
  rn::NcFile f;
  EXPECT_EQ(f.open(file.string()), 0) << file;
  int id = -1;
  EXPECT_EQ(f.var_id(name, id), 0) << name << " in " << file;
  std::size_t n = 0;
  EXPECT_EQ(f.var_count(id, n), 0);
  std::vector<T> v(n);
  EXPECT_EQ(f.read(id, std::span<T>(v)), 0) << name;
  return v;
}

std::size_t dim(const fs::path& file, const char* name) {
  rn::NcFile f;
  EXPECT_EQ(f.open(file.string()), 0) << file;
  std::size_t n = 0;
  EXPECT_EQ(f.dim_length(name, n), 0) << name << " in " << file;
  return n;
}

float global_real(const fs::path& file, const char* name) {
  rn::NcFile f;
  EXPECT_EQ(f.open(file.string()), 0);
  float v = 0;
  EXPECT_EQ(f.global_att_real(name, v), 0) << name;
  return v;
}

// Every regular file below `root`, as relative paths.
std::set<std::string> files_below(const fs::path& root) {
  std::set<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) names.insert(fs::relative(e.path(), root).string());
  }
  return names;
}

std::set<std::string> expected_files() {
  std::set<std::string> f = {"namelist.nesting",         "parent/parent_geo.nc",  "parent/parent_grid.nc",
                             "parent/parent_links.nc",   "parent/parent_overlap.nc", "child/child_grid.nc",
                             "child/terrain.nc",         "seg_info.nc",           "station_list.txt",
                             "cellfeed/mapping.nc",      "sites_us.txt",          "sites_world.txt"};
  for (int h = 0; h < 3; ++h) {
    f.insert("channel/reach_" + hour(h) + ".nc");
    f.insert("channel/points_" + hour(h) + ".nc");
  }
  for (const char* folder : {"latlon_full", "latlon_rain", "lambert_full", "lambert_rain"}) {
    for (int h = 0; h < 24; ++h) f.insert(std::string("forcing/") + folder + "/" + hour(h) + ".forcing.nc");
  }
  return f;
}

// The child routing grid as the mapping builder sees it: rows from the south.
struct ChildGrid {
  int nx = 0, ny = 0;
  std::vector<std::int32_t> channel, dir;
  std::vector<float> lat, lon;
  std::size_t at(int i, int j) const {  // i, j 0-based, j from the south
    return static_cast<std::size_t>(ny - 1 - j) * static_cast<std::size_t>(nx) + static_cast<std::size_t>(i);
  }
};

ChildGrid read_child(const fs::path& out) {
  const fs::path f = out / "child/child_grid.nc";
  ChildGrid c;
  c.nx = static_cast<int>(dim(f, "x"));
  c.ny = static_cast<int>(dim(f, "y"));
  c.channel = read_var<std::int32_t>(f, "CHANNELGRID");
  c.dir = read_var<std::int32_t>(f, "FLOWDIRECTION");
  c.lat = read_var<float>(f, "LATITUDE");
  c.lon = read_var<float>(f, "LONGITUDE");
  return c;
}

// Edge channel cells whose flow enters the grid, in the mapping builder's
// order (south edge, north edge, west edge, east edge).
std::vector<std::pair<int, int>> inflow_nodes(const ChildGrid& c) {
  std::vector<std::pair<int, int>> nodes;
  auto take = [&](int i, int j, std::initializer_list<int> codes) {
    const std::size_t k = c.at(i, j);
    if (c.channel[k] < -1) return;
    if (std::find(codes.begin(), codes.end(), c.dir[k]) != codes.end()) nodes.emplace_back(i, j);
  };
  for (int i = 0; i < c.nx; ++i) take(i, 0, {64, 128, 32});
  for (int i = 0; i < c.nx; ++i) take(i, c.ny - 1, {2, 4, 8});
  for (int j = 1; j < c.ny - 1; ++j) take(0, j, {1, 128, 2});
  for (int j = 1; j < c.ny - 1; ++j) take(c.nx - 1, j, {16, 32, 8});
  return nodes;
}

class SampleBasinSmall : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    scratch_ = new ScratchDir;
    result_ = new RunResult(rn::test::run("samplebasin", {"--preset", "small", out().string()}, scratch_->path()));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete scratch_;
  }
  static fs::path out() { return scratch_->path() / "basin"; }
  void SetUp() override { ASSERT_EQ(result_->status, 0) << result_->out << result_->err; }

  static ScratchDir* scratch_;
  static RunResult* result_;
};

ScratchDir* SampleBasinSmall::scratch_ = nullptr;
RunResult* SampleBasinSmall::result_ = nullptr;

TEST_F(SampleBasinSmall, WritesEveryFileAndNothingElse) {
  EXPECT_EQ(files_below(out()), expected_files());
  EXPECT_TRUE(contains(result_->out, "samplebasin: preset small, seed 1")) << result_->out;
  EXPECT_TRUE(result_->err.empty()) << result_->err;
}

TEST_F(SampleBasinSmall, LayoutsAreThoseTheProgramsRead) {
  struct Expect {
    const char* file;
    const char* kind;
    std::vector<std::string> lines;
  };
  const std::vector<Expect> expects = {
      {"parent/parent_geo.nc", "classic",
       {"float XLAT_M(Time, south_north, west_east) ;", "float XLONG_M(Time, south_north, west_east) ;",
        "float HGT_M(Time, south_north, west_east) ;", "float LANDMASK(Time, south_north, west_east) ;",
        ":TRUELAT1 = ", ":TRUELAT2 = ", ":CEN_LAT = ", ":CEN_LON = ", ":STAND_LON = "}},
      {"parent/parent_links.nc", "classic", {"int link(linkDim) ;", "int order(linkDim) ;"}},
      {"parent/parent_overlap.nc", "classic",
       {"int polyid(polyid) ;", "int overlaps(polyid) ;", "int i_index(data) ;", "int j_index(data) ;",
        "double regridweight(data) ;"}},
      {"child/child_grid.nc", "classic",
       {"x = 80 ;", "y = 64 ;", "int CHANNELGRID(y, x) ;", "int FLOWDIRECTION(y, x) ;", "int STREAMORDER(y, x) ;",
        "float LATITUDE(y, x) ;", "float LONGITUDE(y, x) ;"}},
      {"parent/parent_grid.nc", "classic", {"int CHANNELGRID(y, x) ;", "int FLOWDIRECTION(y, x) ;"}},
      {"child/terrain.nc", "classic",
       {"west_east = 80 ;", "south_north = 64 ;", "float HGT_M(south_north, west_east) ;",
        "float LANDMASK(south_north, west_east) ;"}},
      {"channel/reach_2016010100.nc", "netCDF-4",
       {"int feature_id(feature_id) ;", "int streamflow(feature_id) ;", "streamflow:scale_factor = 0.01f ;"}},
      {"channel/points_2016010102.nc", "netCDF-4",
       {"float streamflow(recNum) ;", "float acc_streamflowMax(recNum) ;", "float latitude(recNum) ;",
        "float longitude(recNum) ;", "int order(recNum) ;", "int chanxi(recNum) ;", "int chanyj(recNum) ;"}},
      {"seg_info.nc", "classic",
       {"float chlat(n) ;", "float chlon(n) ;", "int order(n) ;", "int chanxi(n) ;", "int chanyj(n) ;"}},
      {"cellfeed/mapping.nc", "classic",
       {"float weight(childNodeNum) ;", "int ci_grid(childNodeNum) ;", "int cj_grid(childNodeNum) ;",
        "int fcstIndex(childNodeNum) ;"}},
      {"forcing/latlon_full/2016010105.forcing.nc", "netCDF-4",
       {"lat_0 = 40 ;", "lon_0 = 48 ;", "float lat_0(lat_0) ;", "float lon_0(lon_0) ;", "float U10(lat_0, lon_0) ;",
        "float V10(lat_0, lon_0) ;", "float T2(lat_0, lon_0) ;", "float Q2(lat_0, lon_0) ;",
        "float RAINRATE(lat_0, lon_0) ;"}},
      {"forcing/latlon_rain/2016010105.forcing.nc", "netCDF-4", {"float RAIN(lat_0, lon_0) ;"}},
      {"forcing/lambert_full/2016010123.forcing.nc", "netCDF-4",
       {"ygrid_0 = 602 ;", "xgrid_0 = 846 ;", "float T2(ygrid_0, xgrid_0) ;", "float RAINRATE(ygrid_0, xgrid_0) ;"}},
      {"forcing/lambert_rain/2016010123.forcing.nc", "netCDF-4", {"float RAIN(ygrid_0, xgrid_0) ;"}},
  };
  for (const Expect& e : expects) {
    const fs::path f = out() / e.file;
    EXPECT_TRUE(contains(rn::test::ncdump(f, "-k"), e.kind)) << e.file;
    const std::string header = rn::test::ncdump(f, "-h");
    for (const std::string& line : e.lines) EXPECT_TRUE(contains(header, line)) << e.file << ": " << line;
  }
  EXPECT_FALSE(contains(rn::test::ncdump(out() / "forcing/lambert_rain/2016010100.forcing.nc", "-h"), "T2"));
  EXPECT_FALSE(contains(rn::test::ncdump(out() / "forcing/latlon_rain/2016010100.forcing.nc", "-h"), "T2"));
}

TEST_F(SampleBasinSmall, NamelistNamesTheParentAndChildFiles) {
  const std::string text = rn::test::read_file(out() / "namelist.nesting");
  for (const char* line : {"&namelist_nesting", " mapproject = 'LC'", " fulldom_child_f = 'child/child_grid.nc'",
                           " fulldom_parent_f = 'parent/parent_grid.nc'", " routinelin_p_f = 'parent/parent_links.nc'",
                           " dxkm = 1.0", " geo_parent_f = 'parent/parent_geo.nc'",
                           " nhd_map_f = 'parent/parent_overlap.nc'", " flowin_out = .false.", " order_diff = 1"}) {
    EXPECT_TRUE(contains(text, std::string(line) + "\n")) << line;
  }
}

TEST_F(SampleBasinSmall, ChildRowsRunNorthToSouthAndRiversEnterAcrossTheEdge) {
  const ChildGrid c = read_child(out());
  const std::vector<double> y = read_var<double>(out() / "child/child_grid.nc", "y");
  for (std::size_t r = 1; r < y.size(); ++r) EXPECT_LT(y[r], y[r - 1]);
  for (int j = 1; j < c.ny; ++j) {
    for (int i = 0; i < c.nx; ++i) ASSERT_GT(c.lat[c.at(i, j)], c.lat[c.at(i, j - 1)]) << i << " " << j;
  }
  const std::set<std::int32_t> codes = {1, 2, 4, 8, 16, 32, 64, 128};
  for (std::int32_t d : c.dir) ASSERT_TRUE(codes.count(d)) << d;
  for (std::int32_t g : c.channel) ASSERT_TRUE(g == 0 || g == -9999) << g;
  EXPECT_GE(inflow_nodes(c).size(), 3u);
  // The terrain file holds the same cells, rows from the south.
  const std::vector<float> hgt = read_var<float>(out() / "child/terrain.nc", "HGT_M");
  const std::vector<float> land = read_var<float>(out() / "child/terrain.nc", "LANDMASK");
  ASSERT_EQ(hgt.size(), c.channel.size());
  int water = 0;
  for (std::size_t k = 0; k < land.size(); ++k) {
    ASSERT_TRUE(land[k] == 0.0f || land[k] == 1.0f);
    water += land[k] == 0.0f;
  }
  EXPECT_GT(water, 0);
  EXPECT_LT(water, static_cast<int>(land.size()) / 2);
}

// The mapping builder places every perimeter cell in the parent window
// that it computes from the four corners (stop 999 otherwise).
TEST_F(SampleBasinSmall, PerimeterLiesInsideTheParentWindow) {
  const ChildGrid c = read_child(out());
  const fs::path geo = out() / "parent/parent_geo.nc";
  const float lat0 = read_var<float>(geo, "XLAT_M")[0], lon0 = read_var<float>(geo, "XLONG_M")[0];
  const float t1 = global_real(geo, "TRUELAT1"), t2 = global_real(geo, "TRUELAT2"), sl = global_real(geo, "STAND_LON");
  auto xy = [&](int i, int j, float& x, float& y) {
    const rn::GridXY<float> p = rn::latlon_to_grid(c.lat[c.at(i, j)], c.lon[c.at(i, j)],
                                                   {"LC", 1.0f, lat0, lon0, 1.0f, 1.0f, sl, t1, t2});
    x = p.x;
    y = p.y;
  };
  float x = 0, y = 0;
  xy(0, 0, x, y);
  int istart = static_cast<int>(x - 2), jstart = static_cast<int>(y - 2);
  xy(c.nx - 1, c.ny - 1, x, y);
  int iend = static_cast<int>(x + 2), jend = static_cast<int>(y + 2);
  xy(0, c.ny - 1, x, y);
  istart = std::min(istart, static_cast<int>(x - 2));
  jend = std::max(jend, static_cast<int>(y + 2));
  xy(c.nx - 1, 0, x, y);
  iend = std::max(iend, static_cast<int>(x + 2));
  jstart = std::min(jstart, static_cast<int>(y - 2));
  const int pnx = static_cast<int>(dim(geo, "west_east")), pny = static_cast<int>(dim(geo, "south_north"));
  EXPECT_GE(istart, 1);
  EXPECT_GE(jstart, 1);
  EXPECT_LE(iend, pnx);
  EXPECT_LE(jend, pny);
  std::map<std::pair<int, int>, std::set<std::pair<int, int>>> blocks;  // parent cell -> child 4x4 blocks
  for (int j = 0; j < c.ny; ++j) {
    for (int i = 0; i < c.nx; ++i) {
      if (i != 0 && j != 0 && i != c.nx - 1 && j != c.ny - 1) continue;
      xy(i, j, x, y);
      const int a = static_cast<int>(x + 0.5f), b = static_cast<int>(y + 0.5f);
      ASSERT_TRUE(a >= istart && a <= iend && b >= jstart && b <= jend) << i << " " << j;
      blocks[{a, b}].insert({i / 4, j / 4});
    }
  }
  // Each parent cell holds exactly one 4 x 4 block of child cells.
  for (const auto& [cell, held] : blocks) EXPECT_EQ(held.size(), 1u) << cell.first << " " << cell.second;
}

TEST_F(SampleBasinSmall, OverlapWeightsAddUpToOnePerLink) {
  const fs::path f = out() / "parent/parent_overlap.nc";
  const auto polyid = read_var<std::int32_t>(f, "polyid");
  const auto overlaps = read_var<std::int32_t>(f, "overlaps");
  const auto ii = read_var<std::int32_t>(f, "i_index");
  const auto jj = read_var<std::int32_t>(f, "j_index");
  const auto w = read_var<double>(f, "regridweight");
  const int pnx = static_cast<int>(dim(out() / "parent/parent_geo.nc", "west_east"));
  const int pny = static_cast<int>(dim(out() / "parent/parent_geo.nc", "south_north"));
  ASSERT_EQ(polyid.size(), overlaps.size());
  EXPECT_EQ(std::set<std::int32_t>(polyid.begin(), polyid.end()).size(), polyid.size());
  std::size_t k = 0;
  std::map<std::pair<int, int>, std::set<std::int32_t>> polygons_in_cell;
  for (std::size_t p = 0; p < polyid.size(); ++p) {
    ASSERT_GT(overlaps[p], 0);
    double sum = 0.0;
    for (int r = 0; r < overlaps[p]; ++r, ++k) {
      ASSERT_LT(k, w.size());
      EXPECT_GT(w[k], 0.0);
      sum += w[k];
      ASSERT_TRUE(ii[k] >= 1 && ii[k] <= pnx && jj[k] >= 1 && jj[k] <= pny);
      polygons_in_cell[{ii[k], jj[k]}].insert(polyid[p]);
    }
    EXPECT_NEAR(sum, 1.0, 1e-12) << "polygon " << polyid[p];
  }
  EXPECT_EQ(k, w.size());
  // The mapping builder holds at most 20 links per perimeter cell.
  for (const auto& [cell, ids] : polygons_in_cell) EXPECT_LE(ids.size(), 20u);
}

TEST_F(SampleBasinSmall, RouteLinksMissThreePolygonsAndListTwoTwice) {
  const auto polyid = read_var<std::int32_t>(out() / "parent/parent_overlap.nc", "polyid");
  const auto link = read_var<std::int32_t>(out() / "parent/parent_links.nc", "link");
  const auto feature = read_var<std::int32_t>(out() / "channel/reach_2016010100.nc", "feature_id");
  EXPECT_EQ(feature, link);
  std::map<std::int32_t, int> times;
  for (std::int32_t id : link) ++times[id];
  int doubled = 0, missing = 0;
  for (const auto& [id, n] : times) doubled += n == 2;
  for (std::int32_t id : polyid) missing += times.count(id) == 0;
  EXPECT_EQ(doubled, 2);
  EXPECT_EQ(missing, 3);
  EXPECT_EQ(link.size(), polyid.size() - 3 + 2);
}

TEST_F(SampleBasinSmall, StreamflowGrowsDownstreamAndSpansTheColourClasses) {
  const auto link = read_var<std::int32_t>(out() / "parent/parent_links.nc", "link");
  const auto to = read_var<std::int32_t>(out() / "parent/parent_links.nc", "to");
  const fs::path reach = out() / "channel/reach_2016010100.nc";
  const auto packed = read_var<std::int32_t>(reach, "streamflow");
  {
    rn::NcFile f;
    ASSERT_EQ(f.open(reach.string()), 0);
    int id = -1;
    ASSERT_EQ(f.var_id("streamflow", id), 0);
    float scale = 0;
    ASSERT_EQ(f.var_att_real(id, "scale_factor", scale), 0);
    EXPECT_EQ(scale, 0.01f);
  }
  std::map<std::int32_t, std::int32_t> flow;
  for (std::size_t k = 0; k < link.size(); ++k) flow.emplace(link[k], packed[k]);
  int checked = 0;
  for (std::size_t k = 0; k < link.size(); ++k) {
    if (to[k] == 0 || !flow.count(to[k])) continue;
    EXPECT_GE(flow[to[k]], packed[k]) << link[k] << " -> " << to[k];
    ++checked;
  }
  EXPECT_GT(checked, 100);
  // Hour 1 lacks two values (the default fill): the peak bounds all others.
  auto q = read_var<float>(out() / "channel/points_2016010101.nc", "streamflow");
  const auto qmax = read_var<float>(out() / "channel/points_2016010101.nc", "acc_streamflowMax");
  ASSERT_EQ(q.size(), qmax.size());
  EXPECT_EQ(std::count(q.begin(), q.end(), NC_FILL_FLOAT), 2);
  for (std::size_t k = 0; k < q.size(); ++k) {
    if (q[k] == NC_FILL_FLOAT) q[k] = 0.0f;
    ASSERT_GE(qmax[k], q[k]);
  }
  EXPECT_LT(*std::min_element(q.begin(), q.end()), 4.0f);
  EXPECT_GE(*std::max_element(q.begin(), q.end()), 1000.0f);
  EXPECT_GE(*std::max_element(qmax.begin(), qmax.end()), 1000.0f);
  // Every standard class, 4 .. 8 .. 16 .. 32 .. 64 .. 128 and above, has points.
  std::set<int> classes;
  for (float v : q) {
    if (v >= 4.0f) classes.insert(std::min(5, static_cast<int>(std::log2(v / 4.0f))));
  }
  EXPECT_EQ(classes.size(), 6u);
}

TEST_F(SampleBasinSmall, GaugesSitOnParentChannelCells) {
  const auto xi = read_var<std::int32_t>(out() / "seg_info.nc", "chanxi");
  const auto yj = read_var<std::int32_t>(out() / "seg_info.nc", "chanyj");
  std::set<std::pair<int, int>> channel;
  for (std::size_t k = 0; k < xi.size(); ++k) channel.insert({xi[k], yj[k]});
  EXPECT_EQ(read_var<std::int32_t>(out() / "channel/points_2016010100.nc", "chanxi"), xi);
  const std::string text = rn::test::read_file(out() / "station_list.txt");
  rn::StationReader reader(text);
  rn::Station s;
  int stations = 0, with_blank = 0;
  while (reader.next(s).ok()) {
    ++stations;
    with_blank += contains(s.name, " ");
    EXPECT_TRUE(channel.count({s.column, s.row})) << s.name;
  }
  EXPECT_EQ(stations, 6);
  EXPECT_GT(with_blank, 0);
}

// The sites lie in the basin (the parent domain), and both forcing grids
// hold values around every one of them.
TEST_F(SampleBasinSmall, SitesLieInsideTheBasinAndBothForcingGrids) {
  const auto geo_lat = read_var<float>(out() / "parent/parent_geo.nc", "XLAT_M");
  const auto geo_lon = read_var<float>(out() / "parent/parent_geo.nc", "XLONG_M");
  const auto [lat_lo, lat_hi] = std::minmax_element(geo_lat.begin(), geo_lat.end());
  const auto [lon_lo, lon_hi] = std::minmax_element(geo_lon.begin(), geo_lon.end());
  const auto lambert_t2 = read_var<float>(out() / "forcing/lambert_full/2016010100.forcing.nc", "T2");
  const fs::path ll = out() / "forcing/latlon_full/2016010100.forcing.nc";
  const auto lat_axis = read_var<float>(ll, "lat_0");
  const auto lon_axis = read_var<float>(ll, "lon_0");
  ASSERT_GE(lat_axis.size(), 2u);
  EXPECT_LT(lat_axis[1], lat_axis[0]);  // stored north to south
  const int ix = static_cast<int>(dim(out() / "forcing/lambert_full/2016010100.forcing.nc", "xgrid_0"));
  const int jy = static_cast<int>(dim(out() / "forcing/lambert_full/2016010100.forcing.nc", "ygrid_0"));
  for (const auto& [file, layout] : {std::pair{"sites_us.txt", rn::SiteLayout::us},
                                     std::pair{"sites_world.txt", rn::SiteLayout::world}}) {
    const std::string text = rn::test::read_file(out() / file);
    const rn::SiteCount count = rn::count_site_values(text);
    ASSERT_EQ(count.datasize(), 12) << file;
    const rn::SiteReadResult read = rn::read_sites(text, layout, count.datasize());
    ASSERT_TRUE(read.result.ok()) << file << read.result.message;
    int quoted = 0;
    for (const rn::Site& s : read.sites) {
      quoted += contains(std::string(rn::trim_right(s.city)), " ");
      float lon1 = lon_axis[0] < 0 ? lon_axis[0] + 360.0f : lon_axis[0];
      const float jey = (s.lat - lat_axis[0]) / (lat_axis[1] - lat_axis[0]) + 1.0f;
      const float iex = (s.lon - lon1) / (lon_axis[1] - lon_axis[0]) + 1.0f;
      EXPECT_TRUE(iex >= 2 && iex <= lon_axis.size() - 1 && jey >= 2 && jey <= lat_axis.size() - 1)
          << file << " " << s.lat << " " << s.lon;
      const auto [x, y] = rn::latlon_to_grid(s.lat, s.lon, rn::kSiteLambertGrid);
      EXPECT_TRUE(x >= 2 && x <= ix - 1 && y >= 2 && y <= jy - 1) << file << " " << x << " " << y;
      EXPECT_TRUE(s.lat > *lat_lo && s.lat < *lat_hi && s.lon - 360.0f > *lon_lo && s.lon - 360.0f < *lon_hi)
          << file << " " << s.lat << " " << s.lon << " is outside the basin";
      for (int j = static_cast<int>(y) - 1; j <= static_cast<int>(y) + 2; ++j) {
        for (int i = static_cast<int>(x) - 1; i <= static_cast<int>(x) + 2; ++i) {
          const float t = lambert_t2[static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(ix) +
                                     static_cast<std::size_t>(i - 1)];
          EXPECT_TRUE(t > 200.0f && t < 340.0f) << file << " T2 " << t << " at " << i << ", " << j;
        }
      }
    }
    EXPECT_GT(quoted, 0) << file;
  }
}

TEST_F(SampleBasinSmall, ForcingFieldsArePlausibleAndFollowTheDay) {
  const fs::path dir = out() / "forcing";
  for (const char* flavour : {"latlon", "lambert"}) {
    const std::string full = std::string(flavour) + "_full/";
    const auto t03 = read_var<float>(dir / (full + "2016010103.forcing.nc"), "T2");
    const auto t15 = read_var<float>(dir / (full + "2016010115.forcing.nc"), "T2");
    const auto q2 = read_var<float>(dir / (full + "2016010115.forcing.nc"), "Q2");
    const auto u10 = read_var<float>(dir / (full + "2016010115.forcing.nc"), "U10");
    // The Lambert grid holds values around the basin only; the other cells
    // read as the fill value.
    const auto filled = [](float v) { return v == NC_FILL_FLOAT; };
    std::size_t values = 0;
    for (std::size_t k = 0; k < t03.size(); ++k) {
      if (filled(t03[k])) continue;
      ++values;
      ASSERT_TRUE(t03[k] > 230.0f && t03[k] < 330.0f) << t03[k];
      ASSERT_TRUE(q2[k] > 0.0f && q2[k] < 0.05f) << q2[k];
      ASSERT_LT(std::fabs(u10[k]), 40.0f);
    }
    EXPECT_GT(values, 1000u) << flavour;
    EXPECT_NE(t03, t15);
    float rain_sum = 0;
    for (int h = 0; h < 24; ++h) {
      const std::string name = hour(h) + ".forcing.nc";
      const auto rate = read_var<float>(dir / (full + name), "RAINRATE");
      const auto rain = read_var<float>(dir / (std::string(flavour) + "_rain/" + name), "RAIN");
      ASSERT_EQ(rate.size(), rain.size());
      for (std::size_t k = 0; k < rate.size(); ++k) {
        if (filled(rate[k])) continue;
        ASSERT_GE(rate[k], 0.0f);
        ASSERT_LT(rate[k], 0.01f);
        ASSERT_NEAR(rain[k], rate[k] * 3600.0f, 0.01f * rate[k] * 3600.0f + 1e-6f);
        rain_sum += rain[k];
      }
    }
    EXPECT_GT(rain_sum, 0.0f) << flavour;
  }
}

TEST_F(SampleBasinSmall, CellMappingFeedsEveryBoundaryNodeFromAParentRecord) {
  const fs::path f = out() / "cellfeed/mapping.nc";
  const auto index = read_var<std::int32_t>(f, "fcstIndex");
  const auto weight = read_var<float>(f, "weight");
  const auto ci = read_var<std::int32_t>(f, "ci_grid");
  const auto cj = read_var<std::int32_t>(f, "cj_grid");
  const std::size_t records = dim(out() / "channel/points_2016010100.nc", "recNum");
  const ChildGrid c = read_child(out());
  const auto nodes = inflow_nodes(c);
  ASSERT_EQ(index.size(), nodes.size());
  std::map<std::int32_t, double> share;
  for (std::size_t k = 0; k < index.size(); ++k) {
    EXPECT_TRUE(index[k] >= 1 && static_cast<std::size_t>(index[k]) <= records);
    EXPECT_EQ(ci[k], nodes[k].first + 1);
    EXPECT_EQ(cj[k], nodes[k].second + 1);
    EXPECT_GT(weight[k], 0.0f);
    share[index[k]] += weight[k];
  }
  for (const auto& [record, sum] : share) EXPECT_NEAR(sum, 1.0, 1e-6) << record;
}

// ---------------------------------------------------------------------------

std::string header_without_lengths(const fs::path& file) {
  std::string h = rn::test::ncdump(file, "-h");
  std::string out;
  for (std::size_t pos = 0; pos < h.size();) {
    const std::size_t end = std::min(h.find('\n', pos), h.size());
    std::string line = h.substr(pos, end - pos);
    if (contains(line, " = ") && !contains(line, ":")) line = line.substr(0, line.find(" = "));
    out += line + "\n";
    pos = end + 1;
  }
  return out;
}

TEST(SampleBasinRuns, SameSeedSameFilesOtherSeedSameLayouts) {
  ScratchDir scratch;
  for (const char* seed : {"1", "7"}) {
    const RunResult r = rn::test::run("samplebasin", {"--seed", seed, std::string("s") + seed}, scratch.path());
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const RunResult again = rn::test::run("samplebasin", {"--preset", "small", "--seed", "1", "again"}, scratch.path());
  ASSERT_EQ(again.status, 0) << again.err;
  const fs::path a = scratch / "s1", b = scratch / "again", other = scratch / "s7";
  ASSERT_EQ(files_below(a), expected_files());
  ASSERT_EQ(files_below(other), expected_files());
  int differ = 0;
  for (const std::string& name : expected_files()) {
    EXPECT_EQ(rn::test::read_file(a / name), rn::test::read_file(b / name)) << name;
    if (name.ends_with(".nc")) {
      EXPECT_EQ(header_without_lengths(a / name), header_without_lengths(other / name)) << name;
    }
    differ += rn::test::read_file(a / name) != rn::test::read_file(other / name);
  }
  EXPECT_GE(differ, static_cast<int>(expected_files().size()) - 1);  // the namelist is the same
}

TEST(SampleBasinRuns, RefusesBadArguments) {
  ScratchDir scratch;
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{}, "no output folder"},
      {{"--preset", "huge", "x"}, "unknown preset 'huge'"},
      {{"--seed", "12a", "x"}, "--seed takes a whole number"},
      {{"--seed", "18446744073709551616", "x"}, "--seed takes a whole number"},
      {{"--frobnicate", "x"}, "unknown option"},
      {{"x", "y"}, "more than one output folder"},
      {{"x", "--seed"}, "--seed needs a value"},
      {{"plain_file/sub"}, "cannot create folder"},
  };
  rn::test::write_file(scratch / "plain_file", "");
  for (const Case& c : cases) {
    const RunResult r = rn::test::run("samplebasin", c.args, scratch.path());
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(contains(r.err, c.message)) << r.err;
  }
  EXPECT_FALSE(fs::exists(scratch / "x"));
  const RunResult help = rn::test::run("samplebasin", {"--help"}, scratch.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(contains(help.out, "Usage: samplebasin"));
}

// ---------------------------------------------------------------------------
// The programs of the toolkit on the small basin: each that exists runs to a
// normal end without a warning about the data.

class SampleBasinChain : public SampleBasinSmall {
 protected:
  void SetUp() override {
    SampleBasinSmall::SetUp();
    fs::copy(out(), work_.path() / "b", fs::copy_options::recursive);
  }
  static bool have(const char* program) { return fs::exists(rn::test::bin_dir() / program); }
  fs::path dir() const { return work_.path() / "b"; }
  ScratchDir work_;
};

TEST_F(SampleBasinChain, NestingRunsCleanAndBothFeedsAgree) {
  if (!have("linkweaver")) GTEST_SKIP() << "linkweaver not built";
  const RunResult lw = rn::test::run("linkweaver", {}, dir());
  ASSERT_EQ(lw.status, 0) << lw.out << lw.err;
  EXPECT_FALSE(contains(lw.out, "id not matched")) << lw.out;
  EXPECT_FALSE(contains(lw.out, "order does not match from neighbour grids")) << lw.out;
  const ChildGrid c = read_child(dir());
  const std::string nodes = std::to_string(inflow_nodes(c).size());
  EXPECT_TRUE(contains(lw.out, "child%nodeNum =  " + std::string(11 - nodes.size(), ' ') + nodes + "\n")) << lw.out;
  if (!have("reachfeed") || !have("cellfeed")) GTEST_SKIP() << "nesting tools not built";
  const RunResult rf = rn::test::run("reachfeed", {"channel/reach_2016010100.nc", "reach_inflow.nc"}, dir());
  ASSERT_EQ(rf.status, 0) << rf.out << rf.err;
  EXPECT_FALSE(contains(rf.out, "Warning")) << rf.out;
  const RunResult cf =
      rn::test::run("cellfeed", {"../channel/points_2016010100.nc", "../cell_inflow.nc"}, dir() / "cellfeed");
  ASSERT_EQ(cf.status, 0) << cf.out << cf.err;
  EXPECT_FALSE(contains(cf.out, "k = ")) << cf.out;
  // Both feeds give each boundary node the same order of magnitude.
  const auto by_reach = read_var<float>(dir() / "reach_inflow.nc", "qstream");
  const auto by_cell = read_var<float>(dir() / "cell_inflow.nc", "qstream");
  EXPECT_EQ(read_var<std::int32_t>(dir() / "reach_inflow.nc", "ci"), read_var<std::int32_t>(dir() / "cell_inflow.nc", "ci"));
  ASSERT_EQ(by_reach.size(), by_cell.size());
  double reach_total = 0, cell_total = 0;
  for (std::size_t k = 0; k < by_reach.size(); ++k) {
    reach_total += by_reach[k];
    cell_total += by_cell[k];
  }
  EXPECT_NEAR(reach_total / cell_total, 1.0, 0.5);

  // The next hour lacks the parent values that feed the first two nodes.
  const RunResult rf1 = rn::test::run("reachfeed", {"channel/reach_2016010101.nc", "reach_1.nc"}, dir());
  EXPECT_NE(rf1.out.find("missing (fill value or NaN), left out: 2; nodes set to -9999.0 for it: 2\n"),
            std::string::npos) << rf1.out;
  const RunResult cf1 =
      rn::test::run("cellfeed", {"../channel/points_2016010101.nc", "../cell_1.nc"}, dir() / "cellfeed");
  EXPECT_NE(cf1.out.find("missing (fill value or NaN): 2; nodes set to -9999.0 for it: 2\n"),
            std::string::npos) << cf1.out;
  const auto lost = read_var<float>(dir() / "cell_1.nc", "qstream");
  EXPECT_EQ(std::count(lost.begin(), lost.end(), -9999.0f), 2);
}

TEST_F(SampleBasinChain, GlobeExportersWriteEveryClass) {
  if (!have("flowglobe")) GTEST_SKIP() << "KML tools not built";
  const std::vector<std::vector<std::string>> runs = {
      {"flowglobe", "channel/points_2016010100.nc", "flow.kml", "1", "1", "seg_info.nc", "station_list.txt"},
      {"flowglobe_max", "channel/points_2016010100.nc", "max.kml", "1", "1", "seg_info.nc", "station_list.txt"},
      {"flowglobe_drv1", "channel/points_2016010100.nc", "nodes.kml", "2", "3"},
      {"flowglobe_seg", "seg_info.nc", "segments.kml", "1", "station_list.txt"},
      {"gaugeglobe", "gauges.kml", "station_list.txt"}};
  for (const auto& r : runs) {
    if (!have(r[0].c_str())) continue;
    const RunResult res = rn::test::run(r[0], std::vector<std::string>(r.begin() + 1, r.end()), dir());
    EXPECT_EQ(res.status, 0) << r[0] << res.out << res.err;
    EXPECT_FALSE(contains(res.out, "does not exist")) << r[0] << res.out;
  }
  const std::string flow = rn::test::read_file(dir() / "flow.kml");
  for (const char* style : {"#blue", "#green", "#yellow", "#orange", "#red", "#purple", "#obs"}) {
    EXPECT_TRUE(contains(flow, std::string("<styleUrl>") + style + "</styleUrl>")) << style;
  }
}

TEST_F(SampleBasinChain, TerrainAndSiteSeriesRun) {
  if (have("bedcarve")) {
    const RunResult bc = rn::test::run("bedcarve", {"child/terrain.nc", "filled.nc"}, dir());
    EXPECT_EQ(bc.status, 0) << bc.err;
    EXPECT_TRUE(contains(bc.out, "step 5")) << "the terrain has closed depressions";
  }
  if (!have("siteseries")) GTEST_SKIP() << "siteseries not built";
  for (const char* flavour : {"latlon", "lambert"}) {
    for (const char* content : {"full", "rain"}) {
      for (const char* area : {"1", "2"}) {
        const fs::path run_dir = dir() / (std::string("sites_") + flavour + content + area);
        fs::create_directory(run_dir);
        const std::string folder = std::string("../forcing/") + flavour + "_" + content;
        const RunResult r = rn::test::run(
            "siteseries",
            {area, std::string(flavour) == "latlon" ? "1" : "0", "2016010100", "24", ".forcing.nc", folder,
             std::string("../") + (std::string(area) == "1" ? "sites_us.txt" : "sites_world.txt")},
            run_dir);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        for (int h = 0; h < 24; ++h) {
          const std::string text = rn::test::read_file(run_dir / (hour(h) + ".txt"));
          EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12) << run_dir << " " << h;
          EXPECT_FALSE(contains(text, "*")) << run_dir << " " << h;
        }
      }
    }
  }
}

}  // namespace
