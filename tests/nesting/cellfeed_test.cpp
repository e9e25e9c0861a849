// End-to-end runs of cellfeed on CDL fixtures.
#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace nesting_test;
using rn::test::ncdump;
using rn::test::run;
using rn::test::ScratchDir;
using rn::test::write_cdl;

class Cellfeed : public ::testing::Test {
 protected:
  void SetUp() override {
    // Packed streamflow stays unscaled.  Record positions 0, -1, fcstn and
    // fcstn + 1 around valid ones; a weight of 0 on a valid record.
    write_cdl(dir / "in.nc", record_output_cdl(3, "int", "100, 200, 300",
                                               "    streamflow:scale_factor = 0.01f ;\n"),
              "nc4");
    write_cdl(dir / "mapping.nc", NodeMapping{{"1", "1", "0.5", "1", "0", "0.25"},
                                              {1, 2, 3, 4, 5, 6},
                                              {7, 8, 9, 10, 11, 12},
                                              {0, -1, 3, 4, 1, 2}}
                                      .cdl());
  }
  rn::test::RunResult feed() { return run("cellfeed", {"in.nc", "out.nc"}, dir.path()); }
  ScratchDir dir;
};

TEST_F(Cellfeed, EveryNodeIsWrittenAndOutOfRangeRecordsAreReported) {
  const auto r = feed();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            " inFIle =in.nc\n"
            " outFile =out.nc\n"
            "  fcstn =            3 gridNum=           6\n"
            " k =            1 fcst index =            0\n"
            " k =            2 fcst index =           -1\n"
            " k =            4 fcst index =            4\n");
  const std::string dump = ncdump(dir / "out.nc");
  EXPECT_NE(dump.find("nodeNum = 6 ;"), std::string::npos) << dump;
  EXPECT_NE(dump.find("qstream = -9999, -9999, 150, -9999, 0, 50 ;"), std::string::npos) << dump;
  EXPECT_NE(dump.find("ci = 1, 2, 3, 4, 5, 6 ;"), std::string::npos) << dump;
  EXPECT_NE(dump.find("cj = 7, 8, 9, 10, 11, 12 ;"), std::string::npos) << dump;
}

// A record holding the fill value gives its node -9999.0, whatever the
// weight, and one record after the walk counts such nodes.
TEST_F(Cellfeed, MissingParentValueGivesItsNodeMinus9999) {
  write_cdl(dir / "in.nc", record_output_cdl(3, "int", "100, 200, 300",
                                             "    streamflow:_FillValue = 200 ;\n"),
            "nc4");
  const auto r = feed();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" k =            4 fcst index =            4\n"
                       " Warning: nodes whose parent streamflow is missing (fill value or NaN): 1; "
                       "nodes set to -9999.0 for it: 1\n"),
            std::string::npos)
      << r.out;
  const std::string dump = ncdump(dir / "out.nc");
  EXPECT_NE(dump.find("qstream = -9999, -9999, 150, -9999, 0, -9999 ;"), std::string::npos) << dump;
}

TEST_F(Cellfeed, NoChildNodesGiveAnEmptyUnlimitedNodeDimension) {
  write_cdl(dir / "mapping.nc", NodeMapping{}.cdl());
  const auto r = feed();
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ncdump(dir / "out.nc", "-h").find("nodeNum = UNLIMITED ; // (0 currently)"),
            std::string::npos);
}

TEST_F(Cellfeed, MissingOrForeignMappingEndsTheRun) {
  write_cdl(dir / "mapping.nc", EntryMapping{{1}, {"1"}, {1}, {1}, {1}}.cdl());
  const auto foreign = feed();
  EXPECT_EQ(foreign.status, 1);
  EXPECT_EQ(foreign.err, "cellfeed: mapping.nc: childNodeNum: NetCDF: Invalid dimension ID or name\n"
                         "STOP In get_file_dimension() - nf_inq_dimid: \n");

  fs::remove(dir / "mapping.nc");
  const auto missing = feed();
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, " inFIle =in.nc\n outFile =out.nc\n");
  EXPECT_EQ(missing.err, "cellfeed: mapping.nc: No such file or directory\n"
                         "STOP In get_file_dimension() - Problem opening file\n");
  EXPECT_FALSE(fs::exists(dir / "out.nc"));
}

}  // namespace
