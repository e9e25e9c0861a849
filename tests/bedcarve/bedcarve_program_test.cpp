// The bedcarve program end to end: netCDF in, netCDF out, records, stop
// texts and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.hpp"

namespace {

using rn::test::ncdump;
using rn::test::run;
using rn::test::ScratchDir;
using rn::test::write_cdl;

// 5 x 4 grid: one closed pit at (2, 2) whose lowest neighbour is the ring
// cell (1, 3), a water cell at (4, 3).
constexpr const char* kTerrain = R"(netcdf terrain {
dimensions:
  south_north = 4 ;
  west_east = 5 ;
variables:
  float HGT_M(south_north, west_east) ;
    HGT_M:units = "m" ;
  int LANDMASK(south_north, west_east) ;
data:
  HGT_M = 9, 9, 9, 9, 9,
          9, 2.5, 9, 9, 9,
          8, 9, 9, 1, 9,
          9, 9, 9, 9, 9 ;
  LANDMASK = 1, 1, 1, 1, 1,
             1, 1, 1, 1, 1,
             1, 1, 1, 0, 1,
             1, 1, 1, 1, 1 ;
}
)";

// kTerrain with global attributes, as a real grid file has them.
std::string terrain_with_history() {
  std::string cdl = kTerrain;
  cdl.insert(cdl.rfind("data:"), "  :DX = 1000.f ;\n  :title = \"grid\" ;\n  :history = \"made by hand\" ;\n");
  return cdl;
}

constexpr const char* kRecords =
    " ixrt =            5  jxrt =           4\n"
    "  reading variable HGT_M\n"
    "  reading variable LANDMASK\n"
    " step 5           2           2   8.00000000       2.50000000    \n"
    " step 6           2           2   8.00000000       8.00000000    \n";

class BedcarveProgram : public ::testing::Test {
 protected:
  ScratchDir dir_;
};

TEST_F(BedcarveProgram, FillsThePitAndWritesAnInputForASecondPass) {
  write_cdl(dir_ / "in.nc", terrain_with_history());
  const auto r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kRecords);
  EXPECT_EQ(r.err, "STOP finish\n");
  // The heights, the input's LANDMASK, the input's attributes and its
  // history below this run's line.
  EXPECT_EQ(ncdump(dir_ / "out.nc"),
            "netcdf out {\n"
            "dimensions:\n"
            "\twest_east = 5 ;\n"
            "\tsouth_north = 4 ;\n"
            "variables:\n"
            "\tfloat HGT_M(south_north, west_east) ;\n"
            "\t\tHGT_M:units = \"m\" ;\n"
            "\t\tHGT_M:long_name = \"terrain height\" ;\n"
            "\tint LANDMASK(south_north, west_east) ;\n"
            "\t\tLANDMASK:long_name = \"land mask, 0 on water\" ;\n"
            "\n"
            "// global attributes:\n"
            "\t\t:DX = 1000.f ;\n"
            "\t\t:Conventions = \"CF-1.8\" ;\n"
            "\t\t:title = \"terrain heights with closed depressions filled\" ;\n"
            "\t\t:source = \"bedcarve 0.1.0\" ;\n"
            "\t\t:history = \"2016-01-01T00:00:00Z: bedcarve in.nc out.nc\\n\",\n"
            "\t\t\t\"made by hand\" ;\n"
            "data:\n"
            "\n"
            " HGT_M =\n"
            "  9, 9, 9, 9, 9,\n"
            "  9, 8, 9, 9, 9,\n"
            "  8, 9, 9, 1, 9,\n"
            "  9, 9, 9, 9, 9 ;\n"
            "\n"
            " LANDMASK =\n"
            "  1, 1, 1, 1, 1,\n"
            "  1, 1, 1, 1, 1,\n"
            "  1, 1, 1, 0, 1,\n"
            "  1, 1, 1, 1, 1 ;\n"
            "}\n");
  // A second pass over the output makes no fill and gives the same heights.
  const auto again = run("bedcarve", {"out.nc", "again.nc"}, dir_.path());
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_EQ(again.out.find("step 5"), std::string::npos) << again.out;
  const auto heights = [&](const char* file) {
    const std::string dump = ncdump(dir_ / file, "-v HGT_M");
    return dump.substr(dump.find("data:"));
  };
  EXPECT_EQ(heights("again.nc"), heights("out.nc"));
}

TEST_F(BedcarveProgram, ReadsTheFallbackNameAndALeadingTimeDimension) {
  std::string cdl = kTerrain;
  cdl.replace(cdl.find("south_north = 4 ;"), 17, "Time = 1 ;\n  south_north = 4 ;");
  cdl.replace(cdl.find("float HGT_M(south_north"), 23, "float HGT_M_M(Time, south_north");
  cdl.replace(cdl.find("HGT_M:units"), 11, "HGT_M_M:units");
  cdl.replace(cdl.find("int LANDMASK(south_north"), 24, "int LANDMASK(Time, south_north");
  cdl.replace(cdl.find("  HGT_M = "), 10, "  HGT_M_M = ");
  // Value attributes that the output's types cannot hold are left out, the
  // others are kept in the output's type.
  cdl.insert(cdl.find("  int LANDMASK"), "    HGT_M_M:valid_max = 1.e300 ;\n");
  cdl.insert(cdl.find("data:"), "    LANDMASK:valid_max = Infinity ;\n    LANDMASK:missing_value = -99. ;\n");
  write_cdl(dir_ / "in.nc", cdl);
  const auto r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kRecords);
  const std::string dump = ncdump(dir_ / "out.nc", "-h");
  EXPECT_EQ(dump.find("Time"), std::string::npos);
  EXPECT_NE(dump.find("float HGT_M(south_north, west_east) ;"), std::string::npos);
  EXPECT_EQ(dump.find("valid_max"), std::string::npos) << dump;
  EXPECT_NE(dump.find("LANDMASK:missing_value = -99 ;"), std::string::npos) << dump;
}

TEST_F(BedcarveProgram, AllDrainingGridIsWrittenUnchangedWithoutFills) {
  std::string cdl = kTerrain;
  cdl.replace(cdl.find("9, 2.5, 9"), 9, "9, 9.5, 9");
  write_cdl(dir_ / "in.nc", cdl);
  const auto r = run("bedcarve", {"in.nc  ", "out.nc   "}, dir_.path());  // names trimmed
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("step 5"), std::string::npos);
  EXPECT_NE(ncdump(dir_ / "out.nc").find("  9, 9.5, 9, 9, 9,\n  8, 9, 9, 1, 9,"),
            std::string::npos);
}

TEST_F(BedcarveProgram, MissingFileOrDimensionEndsWithCode888) {
  auto r = run("bedcarve", {"nothing.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 888 % 256);
  EXPECT_EQ(r.out, "FATAL ERROR: Problem opening file: 'nothing.nc'\n");
  EXPECT_EQ(r.err, "bedcarve: nothing.nc: No such file or directory\nSTOP 888\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.nc"));

  write_cdl(dir_ / "in.nc", "netcdf terrain { dimensions: west_east = 5 ; }");
  r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 888 % 256);
  EXPECT_EQ(r.out, " problem in nf_inq_dimidy:  x\n");
  EXPECT_EQ(r.err, "bedcarve: in.nc: south_north: NetCDF: Invalid dimension ID or name\nSTOP 888\n");
}

TEST_F(BedcarveProgram, MissingVariableEndsWithCode999) {
  std::string cdl = kTerrain;
  cdl.replace(cdl.find("int LANDMASK"), 12, "int LANDMASX");
  cdl.replace(cdl.find("  LANDMASK = "), 13, "  LANDMASX = ");
  write_cdl(dir_ / "in.nc", cdl);
  const auto r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 999 % 256);
  EXPECT_EQ(r.err, "bedcarve: in.nc: LANDMASK: NetCDF: Variable not found\nSTOP 999\n");
  EXPECT_NE(r.out.find(" Stoped du to get2d_int: failed to find the variable: LANDMASK in in.nc\n"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.nc"));
}

TEST_F(BedcarveProgram, NaNHeightStopsWithStatus1AndLeavesTheOldOutput) {
  std::string cdl = kTerrain;
  cdl.replace(cdl.find("8, 9, 9, 1"), 10, "8, 9, NaN, 1");
  write_cdl(dir_ / "in.nc", cdl);
  rn::test::write_file(dir_ / "out.nc", "old");
  const auto r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "STOP wrong big minv for modify height\n");
  EXPECT_NE(r.out.find(" step 6           2           2"), std::string::npos);
  EXPECT_EQ(rn::test::read_file(dir_ / "out.nc"), "old");
}

TEST_F(BedcarveProgram, DeclaredNoDataHeightsDrainAndKeepTheirValue) {
  // The pit at (2, 2) is a no-data cell, and so is its ring neighbour (1, 2)
  // by missing_value: neither is raised, and no fill starts there.
  for (const char* attributes : {"    HGT_M:_FillValue = -3.4e+38f ;\n",
                                 "    HGT_M:missing_value = 2.5f, -3.4e+38f ;\n"}) {
    SCOPED_TRACE(attributes);
    std::string cdl = kTerrain;
    cdl.replace(cdl.find("9, 2.5, 9"), 9, "-3.4e+38, -3.4e+38, 9");
    cdl.insert(cdl.find("  int LANDMASK"), attributes);
    write_cdl(dir_ / "in.nc", cdl);
    const auto r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("step 5"), std::string::npos) << r.out;
    // ncdump shows a _FillValue as "_".
    const std::string dump = ncdump(dir_ / "out.nc", "-v HGT_M");
    EXPECT_TRUE(dump.find("  9, 9, 9, 9, 9,\n  _, _, 9, 9, 9,") != std::string::npos ||
                dump.find("  9, 9, 9, 9, 9,\n  -3.4e+38, -3.4e+38, 9, 9, 9,") != std::string::npos)
        << dump;
  }
}

TEST_F(BedcarveProgram, KeepsTheVariablesThatLocateTheGrid) {
  std::string cdl = kTerrain;
  cdl.replace(cdl.find("south_north = 4 ;"), 17, "Time = 1 ;\n  south_north = 4 ;");
  cdl.insert(cdl.find("  int LANDMASK"),
             "    HGT_M:grid_mapping = \"crs\" ;\n"
             "  double west_east(west_east) ;\n    west_east:units = \"m\" ;\n"
             "  float XLAT_M(Time, south_north, west_east) ;\n"
             "  int crs ;\n    crs:grid_mapping_name = \"lambert_conformal_conic\" ;\n"
             "  float unrelated(south_north, west_east) ;\n");
  cdl.insert(cdl.rfind("}"), "  west_east = 0, 1000, 2000, 3000, 4000 ;\n"
                             "  XLAT_M = 40, 40, 40, 40, 40, 41, 41, 41, 41, 41, 42, 42, 42, 42, 42,"
                             " 43, 43, 43, 43, 43.5 ;\n  crs = 7 ;\n");
  write_cdl(dir_ / "in.nc", cdl);
  const auto r = run("bedcarve", {"in.nc", "out.nc"}, dir_.path());
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string dump = ncdump(dir_ / "out.nc");
  EXPECT_NE(dump.find("\tint LANDMASK(south_north, west_east) ;\n"
                      "\t\tLANDMASK:long_name = \"land mask, 0 on water\" ;\n"
                      "\tdouble west_east(west_east) ;\n\t\twest_east:units = \"m\" ;\n"
                      "\tfloat XLAT_M(south_north, west_east) ;\n"
                      "\tint crs ;\n\t\tcrs:grid_mapping_name = \"lambert_conformal_conic\" ;\n"),
            std::string::npos) << dump;
  EXPECT_EQ(dump.find("unrelated"), std::string::npos);
  EXPECT_NE(dump.find(" west_east = 0, 1000, 2000, 3000, 4000 ;"), std::string::npos);
  EXPECT_NE(dump.find("  43, 43, 43, 43, 43.5 ;"), std::string::npos);
  EXPECT_NE(dump.find(" crs = 7 ;"), std::string::npos);
}

}  // namespace
