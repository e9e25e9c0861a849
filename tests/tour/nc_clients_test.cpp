// The netCDF outputs of the sample basin as users' own tools read them:
// CDO finds every variable with its units, xarray stacks a day of inflow
// files along time and picks a site out of a series file, ncrcat joins the
// series of two blocks of hours, and bedcarve takes its own output again.
// A test whose tool is missing is skipped (tools/setup.sh installs them).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "nc_test_support.hpp"
#include "test_support.hpp"
#include "tour_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::run;
using rn::test::run_script;

constexpr const char* kPython = "/usr/bin/python3";

// A Debian tool, by its place.
std::string tool(const std::string& name) { return "/usr/bin/" + name; }
bool has_program(const std::string& name) { return fs::exists(tool(name)); }
bool has_xarray() {
  return fs::exists(kPython) &&
         run(kPython, {"-c", "import xarray, netCDF4"}, fs::current_path()).status == 0;
}

// Standard output of a Python program run in `dir`.
std::string python(const std::string& program, const fs::path& dir) {
  const rn::test::RunResult r = run(kPython, {"-c", program}, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

// The tour's folder: every output of every program, once per test program.
const fs::path& tour() {
  static const rn::test::ScratchDir dir;
  static const bool made = [] {
    const auto r = run_script("docs/tour.sh", {rn::test::bin_dir().string(), (dir / "demo").string()},
                              dir.path());
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    return r.status == 0;
  }();
  static const fs::path demo = made ? dir / "demo" : fs::path();
  return demo;
}

TEST(NcClients, CdoReadsEveryOutputWithItsNamesAndUnits) {
  if (!has_program("cdo")) GTEST_SKIP() << "cdo is missing (Debian package cdo; tools/setup.sh)";
  struct Case {
    const char* file;
    const char* names;
    const char* units;
  };
  for (const Case& c : {
           Case{"mapping.nc", " PnodeId pOrder cOrder weight childIndex ci_grid cj_grid\n", " 1\n"},
           Case{"mapping_index.nc", " pNodeIndex weight childIndex ci_grid cj_grid\n", " 1\n"},
           Case{"inflow/reach_2016010100.nc", " qstream ci cj\n", " m3 s-1\n"},
           Case{"inflow/cell_2016010100.nc", " qstream ci cj\n", " m3 s-1\n"},
           Case{"terrain_filled.nc", " HGT_M LANDMASK\n", " m\n"},
           Case{"series/us_latlon.nc", " precipitation u10 v10 t2 q2 relative_humidity\n",
                " mm h-1 m s-1 m s-1 K kg kg-1 %\n"}}) {
    SCOPED_TRACE(c.file);
    const fs::path file = tour() / c.file;
    EXPECT_EQ(run(tool("cdo"), {"-s", "showname", file.string()}, tour()).out, c.names);
    EXPECT_EQ(run(tool("cdo"), {"-s", "showunit", file.string()}, tour()).out, c.units);
  }
  // The series' time axis: 24 hours from the start hour.
  const std::string steps =
      run(tool("cdo"), {"-s", "showtimestamp", (tour() / "series/us_latlon.nc").string()}, tour()).out;
  EXPECT_EQ(steps.substr(0, 22), "  2016-01-01T00:00:00 ");
  EXPECT_NE(steps.find("2016-01-01T23:00:00\n"), std::string::npos) << steps;
}

// A day of parent outputs (hour 0's flows at 24 time stamps, one link's
// weight set to 0 so that its node gets -9999.0): reachfeed turns each into
// an inflow file, and xarray and ncecat stack them along time.
TEST(NcClients, XarrayAndNcecatStackADayOfInflowAlongTime) {
  if (!has_xarray()) GTEST_SKIP() << "python3-xarray or python3-netcdf4 is missing (tools/setup.sh)";
  if (!has_program("ncap2")) GTEST_SKIP() << "ncap2 is missing (Debian package nco; tools/setup.sh)";
  rn::test::ScratchDir dir;
  fs::create_directories(dir / "parent");
  fs::create_directories(dir / "inflow");
  ASSERT_EQ(run(tool("ncap2"), {"-O", "-s", "weight(0)=0.0f", (rn::test::sample_basin() / "mapping.nc").string(),
                          (dir / "mapping.nc").string()}, dir.path()).status, 0);
  std::vector<std::string> inflows;
  for (int h = 0; h < 24; ++h) {
    const std::string label = std::string("20160101") + (h < 10 ? "0" : "") + std::to_string(h);
    const fs::path parent = dir / "parent" / (label + ".nc");
    ASSERT_EQ(run(tool("ncap2"), {"-O", "-s", "time=time+" + std::to_string(60 * h),
                            (rn::test::sample_basin() / "channel/reach_2016010100.nc").string(),
                            parent.string()}, dir.path()).status, 0);
    inflows.push_back("inflow/" + label + ".nc");
    const auto r = run("reachfeed", {parent.string(), inflows.back()}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  EXPECT_EQ(python("import xarray as xr\n"
                   "ds = xr.open_mfdataset('inflow/*.nc', combine='nested', concat_dim='time')\n"
                   "q = ds.qstream\n"
                   "print(q.dims, q.shape, str(q.time.values[0])[:19], str(q.time.values[-1])[:19])\n"
                   "print(int(q.isnull().sum()), float(q[0, 1]) > 0, q.attrs['units'])\n",
                   dir.path()),
            "('time', 'nodeNum') (24, 9) 2016-01-01T00:00:00 2016-01-01T23:00:00\n24 True m3 s-1\n");
  // ncecat: the same day as one file whose record dimension is time.
  std::vector<std::string> args = {"-O", "-u", "time"};
  args.insert(args.end(), inflows.begin(), inflows.end());
  args.push_back("day.nc");
  ASSERT_EQ(run(tool("ncecat"), args, dir.path()).status, 0);
  const std::string header = rn::test::ncdump(dir / "day.nc", "-h");
  EXPECT_NE(header.find("float qstream(time, nodeNum)"), std::string::npos) << header;
  EXPECT_NE(header.find("time = UNLIMITED ; // (24 currently)"), std::string::npos) << header;
  EXPECT_NE(header.find("double time(time) ;"), std::string::npos) << header;
  EXPECT_EQ(python("import xarray as xr\n"
                   "t = xr.open_dataset('day.nc').time.values\n"
                   "print(len(t), str(t[0])[:19], str(t[-1])[:19])\n",
                   dir.path()),
            "24 2016-01-01T00:00:00 2016-01-01T23:00:00\n");
  if (has_program("cdo")) {
    const std::string stamps = run(tool("cdo"), {"-s", "showtimestamp", "day.nc"}, dir.path()).out;
    EXPECT_NE(stamps.find("  2016-01-01T00:00:00  2016-01-01T01:00:00"), std::string::npos) << stamps;
    EXPECT_NE(stamps.find("  2016-01-01T23:00:00"), std::string::npos) << stamps;
  }
}

// The series of a day written in two blocks of twelve hours and joined by the
// parallel recipe (ncrcat) hold what one run over the day holds; xarray
// selects a site of it by its number.
TEST(NcClients, NcrcatJoinsTheSeriesOfTwoBlocksAndXarraySelectsASite) {
  if (!has_program("ncrcat")) GTEST_SKIP() << "ncrcat is missing (Debian package nco; tools/setup.sh)";
  if (!has_xarray()) GTEST_SKIP() << "python3-xarray or python3-netcdf4 is missing (tools/setup.sh)";
  if (!has_program("parallel")) GTEST_SKIP() << "GNU parallel is missing (tools/setup.sh)";
  rn::test::ScratchDir dir;
  const fs::path basin = rn::test::sample_basin();
  const std::vector<std::string> args = {"1", "1", "2016010100", "24", ".forcing.nc",
                                         (basin / "forcing/latlon_full").string(),
                                         (basin / "sites_us.txt").string()};
  std::vector<std::string> call = {"-j", "2", "-b", "12", "-s", "joined.nc", "out"};
  call.insert(call.end(), args.begin(), args.end());
  const auto joined = run_script("docs/scale-out/siteseries_parallel.sh", call, dir.path());
  ASSERT_EQ(joined.status, 0) << joined.out << joined.err;
  EXPECT_EQ(rn::test::entries(dir / "out/blocks"),
            (std::vector<std::string>{"2016010100.nc", "2016010112.nc"}));
  std::vector<std::string> whole = {"--series", "day.nc"};
  whole.insert(whole.end(), args.begin(), args.end());
  ASSERT_EQ(run("siteseries", whole, dir.path()).status, 0);
  EXPECT_EQ(python("import xarray as xr\n"
                   "a, b = xr.open_dataset('joined.nc'), xr.open_dataset('day.nc')\n"
                   "names = ['precipitation', 'u10', 'v10', 't2', 'q2', 'relative_humidity']\n"
                   "print(all(a[n].equals(b[n]) for n in names), a.time.equals(b.time))\n"
                   "s = b.sel(station=3)\n"
                   "print(s.t2.dims, s.t2.size, s.name.values == b.name.values[2],\n"
                   "      bool((s.t2 == b.t2[:, 2]).all()))\n"
                   "ids = [v for v in b.variables if b[v].attrs.get('cf_role') == 'timeseries_id']\n"
                   "print(ids, b.station.to_index().is_unique, type(b.name.values[0]).__name__)\n",
                   dir.path()),
            "True True\n('time',) 24 True True\n['station'] True str\n");
}

// The conditioned terrain is a terrain input again: a second pass over it
// makes no fill and keeps every height.
TEST(NcClients, SecondBedcarvePassOverItsOwnOutputMakesNoFill) {
  const fs::path demo = tour();
  ASSERT_FALSE(demo.empty());
  const auto r = run("bedcarve", {"terrain_filled.nc", "terrain_again.nc"}, demo);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("step 5"), std::string::npos) << r.out;
  const auto heights = [&](const char* file) {
    const std::string dump = rn::test::ncdump(demo / file, "-v HGT_M");
    return dump.substr(dump.find("data:"));
  };
  EXPECT_EQ(heights("terrain_again.nc"), heights("terrain_filled.nc"));
}

}  // namespace
