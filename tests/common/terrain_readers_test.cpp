// Terrain readers and the point-extraction program's reader variants.
#include "terrain_readers.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "nc_test_support.hpp"
#include "test_support.hpp"

namespace {

using rn::test::outcome_of;

// A 3 x 2 grid: HGT_M under its plain name and under "HGT_M_M", the height
// of the second behind a time dimension of length 1.
const char* kTerrain = R"(netcdf geo {
dimensions:
  Time = 1 ; south_north = 2 ; west_east = 3 ;
variables:
  float HGT_M(south_north, west_east) ;
  float HGT_M_M(Time, south_north, west_east) ;
  int LANDMASK(south_north, west_east) ;
  double BIG(south_north, west_east) ;
  short T2(Time, south_north, west_east) ;
data:
  HGT_M = 1, 2, 3, 4, 5, 6 ;
  HGT_M_M = 10, 20, 30, 40, 50, 60 ;
  LANDMASK = 1, 1, 0, 1, 0, 0 ;
  BIG = 1, 2, 1e300, 4, 5, 6 ;
  T2 = 270, 271, 272, 273, 274, 275 ;
}
)";

class TerrainTest : public ::testing::Test {
 protected:
  void SetUp() override { rn::test::write_cdl(file_, kTerrain); }
  rn::test::ScratchDir dir_;
  std::string file_ = (dir_ / "geo.nc").string();
  std::string missing_ = (dir_ / "none.nc").string();
};

using Kind = rn::terrain::ReadFailure::Kind;

TEST_F(TerrainTest, GetDimReadsLengthsAndRecordsThem) {
  std::int32_t ix = 0;
  std::int32_t jx = 0;
  rn::terrain::ReadFailure f;
  const auto o = outcome_of([&] { f = rn::terrain::get_dim(file_ + "  ", ix, jx); });
  EXPECT_FALSE(o.ended);
  EXPECT_FALSE(f);
  EXPECT_EQ(ix, 3);
  EXPECT_EQ(jx, 2);
  EXPECT_EQ(o.out, " ixrt =            3  jxrt =           2\n");
}

TEST_F(TerrainTest, GetDimReturnsAnUnopenableFileAndAMissingDimension) {
  std::int32_t ix = 5;
  std::int32_t jx = 5;
  rn::terrain::ReadFailure f;
  auto o = outcome_of([&] { f = rn::terrain::get_dim(missing_, ix, jx); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(f.kind, Kind::grid_file);
  EXPECT_EQ(f.message, "FATAL ERROR: Problem opening file: '" + missing_ + "'");

  const auto only_x = dir_ / "x.nc";
  rn::test::write_cdl(only_x, "netcdf x { dimensions: west_east = 3 ; }");
  rn::test::write_cdl(dir_ / "y.nc", "netcdf y { dimensions: south_north = 3 ; }");
  f = rn::terrain::get_dim((dir_ / "y.nc").string(), ix, jx);
  EXPECT_EQ(f.kind, Kind::dimension);
  EXPECT_EQ(f.message, "problem in nf_inq_dimidx:  x");
  o = outcome_of([&] { f = rn::terrain::get_dim(only_x.string(), ix, jx); });
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(f.kind, Kind::dimension);
  EXPECT_EQ(f.message, "problem in nf_inq_dimidy:  x");
  EXPECT_EQ(ix, 5);
  EXPECT_EQ(jx, 5);
}

TEST_F(TerrainTest, RealFieldPrefersPlainNameThenFallsBackToM) {
  std::vector<float> h;
  std::vector<std::int32_t> mask;
  auto o = outcome_of([&] {
    EXPECT_FALSE(rn::terrain::readrt2d_real("HGT_M", [&] { h.resize(6); return std::span<float>(h); }, 3, 2, file_));
    EXPECT_FALSE(rn::terrain::readrt2d_int("LANDMASK", [&] { mask.resize(6); return std::span<std::int32_t>(mask); }, 3, 2, file_));
  });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "  reading variable HGT_M\n  reading variable LANDMASK\n");
  EXPECT_EQ(h, (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(mask, (std::vector<std::int32_t>{1, 1, 0, 1, 0, 0}));

  // Only "HGT_M_M" holds the field (behind a time dimension of 1).
  const auto m_only = dir_ / "m_only.nc";
  rn::test::write_cdl(m_only, R"(netcdf m { dimensions: Time = 1 ; south_north = 2 ; west_east = 3 ;
variables: float HGT_M_M(Time, south_north, west_east) ;
data: HGT_M_M = 10, 20, 30, 40, 50, 60 ; })");
  rn::terrain::ReadFailure f{Kind::field, "x", {}};
  o = outcome_of([&] { f = rn::terrain::get2d_real("HGT_M", h, 3, 2, m_only.string()); });
  EXPECT_FALSE(f);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(h, (std::vector<float>{10, 20, 30, 40, 50, 60}));

  // A 16-bit field read as reals.
  o = outcome_of([&] { f = rn::terrain::get2d_real("T2", h, 3, 2, file_); });
  EXPECT_EQ(h, (std::vector<float>{270, 271, 272, 273, 274, 275}));
}

// Each failing step comes back with the reader's message; nothing is written
// and the program goes on (the caller decides how to end).
TEST_F(TerrainTest, FailuresAreReturnedWithTheReadersMessage) {
  std::vector<float> h(6, 3.0f);
  std::vector<std::int32_t> mask(6, 3);
  rn::terrain::ReadFailure f;

  auto o = outcome_of([&] { f = rn::terrain::get2d_real("HGT_M", h, 3, 2, missing_); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(f.kind, Kind::field);
  EXPECT_EQ(f.message, "get2d_real: failed to open the netcdf file: " + missing_);
  EXPECT_EQ(h, std::vector<float>(6, -9999.0f));

  f = rn::terrain::get2d_int("LANDMASK", mask, 3, 2, missing_);
  EXPECT_EQ(f.message, "get2d_int: failed to open the netcdf file: " + missing_);
  EXPECT_EQ(mask, std::vector<std::int32_t>(6, 3));  // integers are not filled

  f = rn::terrain::get2d_real("ZNT", h, 3, 2, file_);
  EXPECT_EQ(f.message, "get2d_real: failed to find the variables: ZNT and ZNT_M in " + file_);

  bool asked = false;  // storage is asked for only once the variable is found
  const auto storage = [&] { asked = true; return std::span<std::int32_t>(mask); };
  o = outcome_of([&] { f = rn::terrain::readrt2d_int("ZNT", storage, 3, 2, file_); });
  EXPECT_EQ(o.out, "  reading variable ZNT\n");
  EXPECT_EQ(f.kind, Kind::field);
  EXPECT_EQ(f.message, "get2d_int: failed to find the variable: ZNT in " + file_);
  EXPECT_FALSE(asked);

  f = rn::terrain::get2d_real("BIG", h, 3, 2, file_);
  EXPECT_EQ(f.message, "get2d_real: failed to read the variable: BIG or BIG_M in " + file_);
}

TEST_F(TerrainTest, MessagesAreCutAt256Characters) {
  const std::string long_name = (dir_ / std::string(300, 'a')).string() + ".nc";
  std::vector<float> h(6);
  const auto f = rn::terrain::get2d_real("HGT_M", h, 3, 2, long_name);
  EXPECT_EQ(f.message, ("get2d_real: failed to open the netcdf file: " + long_name).substr(0, 256));
}

TEST_F(TerrainTest, CountMismatchEndsTheProgram) {
  std::vector<float> h(8, 5.0f);
  const auto o = outcome_of([&] { rn::terrain::get2d_real("HGT_M", h, 4, 2, file_); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.out, " Error: variable HGT_M in " + file_ + " holds 6 values, the array holds 8\n");
  EXPECT_EQ(o.stop, "STOP In get2d_real() - variable size does not match the array");
  EXPECT_EQ(h, std::vector<float>(8, 5.0f));
  // An array smaller than ix * jx is never overrun.
  std::vector<std::int32_t> small(4);
  const auto o2 = outcome_of([&] { rn::terrain::get2d_int("LANDMASK", small, 3, 2, file_); });
  EXPECT_EQ(o2.status, rn::kFailure);
}

TEST_F(TerrainTest, OneDimensionalReaders) {
  std::vector<float> h(8, -1.0f);
  auto o = outcome_of([&] { rn::terrain::get_1d_netcdf_real(file_, "HGT_M", h, 6); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(h, (std::vector<float>{1, 2, 3, 4, 5, 6, -1, -1}));

  // The open status is not examined: a missing file reads as a missing variable.
  std::vector<std::int32_t> mask(6);
  o = outcome_of([&] { rn::terrain::get_1d_netcdf_int(missing_, "LANDMASK", mask, 6); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "");
  EXPECT_EQ(o.out, " Error:  get_1d_netcdf_real: variable: LANDMASK\n");

  std::vector<double> d(6);
  o = outcome_of([&] { rn::terrain::get_1d_netcdf_real(file_, "BIG", h, 6); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.out, " Error: get_1d_netcdf_int: values: BIG\n");
  o = outcome_of([&] { rn::terrain::get_1d_netcdf_real8(file_, "BIG", d, 5); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "STOP In get_1d_netcdf_real8() - variable size does not match the array");
}

TEST_F(TerrainTest, SiteReaderStopsOnlyForAnUnopenableFile) {
  std::vector<float> f(6, 8.0f);
  auto o = outcome_of([&] { rn::site_readers::get2d_real("U10", f, 3, 2, file_); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, " get2d_real: failed to find the variables: U10 and U10_M in " + file_ + "\n");
  EXPECT_EQ(f, std::vector<float>(6, 8.0f));  // left as before, not filled

  o = outcome_of([&] { rn::site_readers::get2d_real("HGT", f, 3, 2, file_); });  // HGT_M
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(f, (std::vector<float>{1, 2, 3, 4, 5, 6}));

  o = outcome_of([&] { rn::site_readers::get2d_real("T2", f, 3, 2, missing_); });
  EXPECT_TRUE(o.ended);
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "");  // plain stop
  EXPECT_EQ(o.out, " get2d_real: failed to open the netcdf file: " + missing_ + "\n");
}

TEST_F(TerrainTest, SiteReaderRowWindowReadsOnlyThoseRows) {
  std::vector<float> f(6, 0.0f);
  auto o = outcome_of([&] { rn::site_readers::get2d_real("T2", f, 3, 2, file_, {2, 2}); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(f, (std::vector<float>{0, 0, 0, 273, 274, 275}));
  o = outcome_of([&] { rn::site_readers::get2d_real("HGT_M", f, 3, 2, file_, {1, 1}); });
  EXPECT_EQ(f, (std::vector<float>{1, 2, 3, 273, 274, 275}));
  // Windows are clamped to the grid; an empty one reads nothing.
  o = outcome_of([&] { rn::site_readers::get2d_real("HGT_M_M", f, 3, 2, file_, {-4, 9}); });
  EXPECT_EQ(f, (std::vector<float>{10, 20, 30, 40, 50, 60}));
  o = outcome_of([&] { rn::site_readers::get2d_real("HGT_M", f, 3, 2, file_, {2, 1}); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(f, (std::vector<float>{10, 20, 30, 40, 50, 60}));
}

TEST_F(TerrainTest, FileDimensionWithFoundFlag) {
  std::int32_t n = 77;
  std::int32_t found = 0;
  auto o = outcome_of([&] { rn::site_readers::get_file_dimension0(file_, "west_east", n, found); });
  EXPECT_EQ(n, 3);
  EXPECT_EQ(found, 1);
  n = 77;
  o = outcome_of([&] { rn::site_readers::get_file_dimension0(file_, "lat_0", n, found); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(n, 77);
  EXPECT_EQ(found, -1);
  o = outcome_of([&] { rn::site_readers::get_file_dimension0(missing_, "lat_0", n, found); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "STOP In get_file_dimension() - Problem opening file");
}

}  // namespace
