// Module readers and the low-level file handle under them.
#include "nc_readers.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "nc_file.hpp"
#include "nc_test_support.hpp"
#include "test_support.hpp"

namespace {

using rn::test::outcome_of;

const char* kChannel = R"(netcdf channel {
dimensions:
  time = 1 ;
  feature_id = 3 ;
variables:
  int feature_id(feature_id) ;
  short streamflow(time, feature_id) ;
    streamflow:scale_factor = 0.01f ;
    streamflow:valid_range = 0.f, 100.f ;
    streamflow:units = "m3 s-1" ;
  double weight(feature_id) ;
  double huge(feature_id) ;
  int grid(feature_id, time) ;
data:
  feature_id = 101, 102, 103 ;
  streamflow = 150, -2, 7 ;
  weight = 0.25, 0.5, 0.125 ;
  huge = 1e300, 1, 2 ;
  grid = 1, 2, 3 ;
}
)";

class ModuleReaderTest : public ::testing::Test {
 protected:
  void SetUp() override { rn::test::write_cdl(file_, kChannel); }
  rn::test::ScratchDir dir_;
  std::string file_ = (dir_ / "channel.nc").string();
  std::string missing_ = (dir_ / "none.nc").string();
  rn::ModuleReaders readers_;
};

TEST_F(ModuleReaderTest, ReadsWholeVariablesInEachElementType) {
  std::array<std::int32_t, 3> ids{};
  std::array<float, 3> flow{};
  std::array<double, 3> weight{};
  std::array<std::int32_t, 3> grid{};
  const auto o = outcome_of([&] {
    readers_.get1d_int(file_, "feature_id", ids);
    // 16-bit integers behind a time dimension of length 1, read as reals, unscaled.
    readers_.get1d_real(file_ + "   ", "streamflow  ", flow);
    readers_.get1d_real8(file_, "weight", weight);
    readers_.get2d_int(file_, "grid", grid);
  });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(ids, (std::array<std::int32_t, 3>{101, 102, 103}));
  EXPECT_EQ(flow, (std::array<float, 3>{150.0f, -2.0f, 7.0f}));
  EXPECT_EQ(weight, (std::array<double, 3>{0.25, 0.5, 0.125}));
  EXPECT_EQ(grid, (std::array<std::int32_t, 3>{1, 2, 3}));
}

TEST_F(ModuleReaderTest, UnopenableFileGivesEachReadersRecordAndStop) {
  struct Case {
    const char* name;
    std::function<void()> call;
    std::string record;
    std::string stop;
  };
  std::vector<std::int32_t> ints(3);
  std::vector<float> reals(3);
  std::vector<double> doubles(3);
  float att = 0.0f;
  const std::string f = missing_;
  const std::vector<Case> cases = {
      {"get1d_int", [&] { readers_.get1d_int(f, "x", ints); },
       " FATAL ERROR: Failed to open the netcdf file: " + f + "\n",
       "STOP In get1d_int() -  Failed to open the netcdf file"},
      {"get2d_int", [&] { readers_.get2d_int(f, "x", ints); },
       " FATAL ERROR: Failed to open the netcdf file: " + f + "\n",
       "STOP In get2d_int() -  Failed to open the netcdf file"},
      {"get1d_real", [&] { readers_.get1d_real(f, "x", reals); },
       " failed to open the netcdf file: " + f + "\n",
       "STOP In get1d_real8() - failed to open the netcdf file."},
      {"get1d_real8", [&] { readers_.get1d_real8(f, "x", doubles); },
       " failed to open the netcdf file: " + f + "\n",
       "STOP In get1d_real8() - failed to open the netcdf file."},
      {"getvarattreal", [&] { readers_.getvarattreal(f, "x", "scale_factor", att); },
       " failed to open the netcdf file: " + f + "\n",
       "STOP In get1d_real8() - failed to open the netcdf file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto o = outcome_of(c.call);
    EXPECT_TRUE(o.ended);
    EXPECT_EQ(o.status, rn::kFailure);
    EXPECT_EQ(o.out, c.record);
    EXPECT_EQ(o.stop, c.stop);
    EXPECT_EQ(o.place, f + ": No such file or directory");  // no program named here
  }
}

TEST_F(ModuleReaderTest, MissingVariableWritesTwoRecordsThenStops) {
  std::vector<std::int32_t> ints(3);
  std::vector<float> reals(3);
  const std::string records = " Read Variable Error file: " + file_ +
                              "\n Read Error: could not find order\n";
  auto o = outcome_of([&] { readers_.get1d_int(file_, "order", ints); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.out, records);
  EXPECT_EQ(o.stop, "STOP In get1d_int() - failed to read netcdf variable name.");
  EXPECT_EQ(o.place, file_ + ": order: NetCDF: Variable not found");

  o = outcome_of([&] { readers_.get2d_int(file_, "order", ints); });
  EXPECT_EQ(o.out, records);
  EXPECT_EQ(o.stop, "STOP In get2d_int() - failed to read netcdf variable name.");

  o = outcome_of([&] { readers_.get1d_real(file_, "order", reals); });
  EXPECT_EQ(o.out, records);
  EXPECT_EQ(o.stop, "STOP In get1d_real8() - failed to read netcdf varialbe name. ");
}

TEST_F(ModuleReaderTest, CountMismatchStopsWithoutTouchingTheArray) {
  std::vector<float> small(2, 42.0f);
  std::vector<float> large(4, 42.0f);
  for (auto* a : {&small, &large}) {
    const auto o = outcome_of([&] { readers_.get1d_real(file_, "streamflow", *a); });
    EXPECT_TRUE(o.ended);
    EXPECT_EQ(o.status, rn::kFailure);
    EXPECT_EQ(o.out, " Error: variable streamflow in " + file_ + " holds 3 values, the array holds " +
                         std::to_string(a->size()) + "\n");
    EXPECT_EQ(o.stop, "STOP In get1d_real() - variable size does not match the array");
    for (float v : *a) EXPECT_EQ(v, 42.0f);
  }
}

TEST_F(ModuleReaderTest, FailedReadIsReportedWithTheLibraryText) {
  std::vector<float> reals(3);
  const auto o = outcome_of([&] { readers_.get1d_real(file_, "huge", reals); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.out, " Error: failed to read variable huge in " + file_ + ": " +
                       rn::nc_error_text(NC_ERANGE) + "\n");
  EXPECT_EQ(o.stop, "STOP In get1d_real() - failed to read the netcdf variable");
}

TEST_F(ModuleReaderTest, AttributeReadMissingAndWrongType) {
  float value = 7.0f;
  auto o = outcome_of([&] { EXPECT_TRUE(readers_.getvarattreal(file_, "streamflow", "scale_factor", value)); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(value, 0.01f);

  // Missing: silent, result unchanged.
  value = 7.0f;
  o = outcome_of([&] { EXPECT_FALSE(readers_.getvarattreal(file_, "streamflow", "add_offset", value)); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(value, 7.0f);

  // Several values: the first one, never past the result.
  o = outcome_of([&] { readers_.getvarattreal(file_, "streamflow", "valid_range", value); });
  EXPECT_EQ(value, 0.0f);

  // A text attribute cannot be read as a real.
  o = outcome_of([&] { readers_.getvarattreal(file_, "streamflow", "units", value); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "STOP In getvarattreal() - failed to read the netcdf variable");
}

TEST_F(ModuleReaderTest, FileDimensionForms) {
  rn::test::write_cdl(dir_ / "sized.nc", "netcdf s { dimensions: size = 5 ; recNum = 4 ; }");
  const std::string sized = (dir_ / "sized.nc").string();
  const rn::ModuleReaders plain(rn::DimensionForm::plain);
  const rn::ModuleReaders size(rn::DimensionForm::size_fallback);
  const rn::ModuleReaders echo(rn::DimensionForm::file_echo);

  std::int32_t n = 0;
  auto o = outcome_of([&] { n = plain.get_file_dimension(sized, "recNum "); });
  EXPECT_EQ(n, 4);
  o = outcome_of([&] { n = size.get_file_dimension(sized, "recNum"); });  // the real name wins
  EXPECT_EQ(n, 4);
  o = outcome_of([&] { n = size.get_file_dimension(file_, "recNum"); });
  EXPECT_TRUE(o.ended);  // channel.nc has neither recNum nor size
  EXPECT_EQ(o.stop, "STOP In get_file_dimension() - nf_inq_dimid: ");
  EXPECT_EQ(o.out, "");
  o = outcome_of([&] { n = size.get_file_dimension(sized, "feature_id"); });
  EXPECT_FALSE(o.ended);
  EXPECT_EQ(n, 5);
  for (const auto* r : {&plain, &echo}) {
    o = outcome_of([&] { r->get_file_dimension(sized, "feature_id"); });
    EXPECT_EQ(o.status, rn::kFailure);
    EXPECT_EQ(o.stop, "STOP In get_file_dimension() - nf_inq_dimid: ");
  }

  // Open failure: only the echo forms name the file.
  o = outcome_of([&] { plain.get_file_dimension(missing_, "recNum"); });
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.stop, "STOP In get_file_dimension() - Problem opening file");
  EXPECT_EQ(o.status, rn::kFailure);
  for (const auto* r : {&size, &echo}) {
    o = outcome_of([&] { r->get_file_dimension(missing_, "recNum"); });
    EXPECT_EQ(o.out, "  file= " + missing_ + "\n");
    EXPECT_EQ(o.stop, "STOP In get_file_dimension() - Problem opening file");
  }
}

TEST_F(ModuleReaderTest, DimensionBeyondThirtyTwoBitsStops) {
  const auto path = dir_ / "long.nc";
  rn::test::write_cdl(path, "netcdf l { dimensions: n = 3000000000 ; }", "nc4");
  const auto o = outcome_of([&] { readers_.get_file_dimension(path.string(), "n"); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.out, " Error: dimension n in " + path.string() +
                       " has length 3000000000, more than a 32-bit integer holds\n");
  EXPECT_EQ(o.stop, "STOP In get_file_dimension() - dimension too long");
}

// Missing values are compared in the stored type: an integer fill and its
// neighbours (which 32-bit reals would not tell apart), the default fill
// without a declaring attribute, reals bit for bit and NaN, a missing_value
// of another type (counted where the storage holds it).  The values come
// from the same read, bit for bit what the library's own read as 32-bit
// reals gives, in every storage type (integers that a real rounds, doubles
// the library range-checks); text holds no reals and ends the read.
TEST(MissingValues, ComparedInTheStoredTypeBeforeScalingWithTheValuesOfOneRead) {
  rn::test::ScratchDir dir;
  const std::string file = (dir / "m.nc").string();
  rn::test::write_cdl(dir / "m.nc", R"(netcdf m {
dimensions: n = 4 ;
variables:
  int packed(n) ; packed:_FillValue = -999900 ; packed:scale_factor = 0.01f ;
  int plain(n) ;
  float flow(n) ; flow:_FillValue = -9999.f ;
  short listed(n) ; listed:missing_value = -1.f, 7.5f ;
  uint big(n) ;
  int64 wide(n) ; wide:_FillValue = 16777217LL ;
  double dbl(n) ; dbl:missing_value = 0.1 ;
  double far(n) ;
  ubyte tiny(n) ;
  char text(n) ;
data:
  packed = -999900, -999899, -999901, 16777217 ;
  plain = -2147483647, -2147483646, 0, _ ;
  flow = -9999.f, -9999.001f, NaNf, 1.f ;
  listed = -1, 7, 8, 0 ;
  big = 4294967295U, 16777219U, 0U, 3U ;
  wide = 16777217LL, 9223372036854775807LL, -3LL, 16777216LL ;
  dbl = 0.1, 1.0000000001, NaN, 3 ;
  far = 1, 2, 3, -1e300 ;
  tiny = 255UB, 0UB, 1UB, 254UB ;
  text = "abcd" ;
})", "netCDF-4");
  struct Case {
    const char* var;
    std::vector<std::uint8_t> missing;
  };
  const std::vector<Case> cases = {
      {"packed", {1, 0, 0, 0}}, {"plain", {1, 0, 0, 1}},  {"flow", {1, 0, 1, 0}},
      {"listed", {1, 0, 0, 0}}, {"big", {1, 0, 0, 0}},    {"wide", {1, 0, 0, 0}},
      {"dbl", {1, 0, 1, 0}},    {"tiny", {1, 0, 0, 0}}};
  const rn::ModuleReaders readers;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.var);
    std::vector<float> values, library(4);
    std::vector<std::uint8_t> missing;
    std::size_t count = 0;
    const auto o = outcome_of([&] { count = readers.get1d_real_and_missing(file, c.var, values, missing, 4); });
    EXPECT_FALSE(o.ended) << o.stop;
    EXPECT_EQ(missing, c.missing);
    EXPECT_EQ(count, static_cast<std::size_t>(std::count(c.missing.begin(), c.missing.end(), 1)));
    const auto o2 = outcome_of([&] { readers.get1d_real(file, c.var, library); });
    ASSERT_FALSE(o2.ended) << o2.stop;
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(std::memcmp(values.data(), library.data(), 4 * sizeof(float)), 0);
  }
  // The library refuses -1e300 as a 32-bit real, and text as reals: both
  // readers end alike.
  for (const char* var : {"far", "text"}) {
    SCOPED_TRACE(var);
    std::vector<float> values, library(4);
    std::vector<std::uint8_t> missing;
    const auto both = outcome_of([&] { readers.get1d_real_and_missing(file, var, values, missing, 4); });
    const auto alone = outcome_of([&] { readers.get1d_real(file, var, library); });
    EXPECT_TRUE(both.ended);
    EXPECT_EQ(both.out, alone.out);
    EXPECT_EQ(both.stop, alone.stop);
  }
}

TEST(HandleErr, RecordsEightyCharacterTextThenCodeStop2) {
  const auto o = outcome_of([] { rn::handle_err(NC_EBADDIM); });
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.stop, "STOP 2");
  std::string text = nc_strerror(NC_EBADDIM);
  text.resize(80, ' ');
  EXPECT_EQ(o.out, " Error: " + text + "\n");
}

TEST(NcFile, HyperslabsRowsAndRefusedRequests) {
  rn::test::ScratchDir dir;
  const auto path = dir / "grid.nc";
  rn::test::write_cdl(path, R"(netcdf g {
dimensions: Time = 1 ; south_north = 3 ; west_east = 4 ;
variables: float T2(Time, south_north, west_east) ; int flat(west_east) ;
data: T2 = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 ; flat = 1, 2, 3, 4 ;
})");
  rn::NcFile nc;
  ASSERT_EQ(nc.open(path.string()), NC_NOERR);
  int t2 = -1;
  int flat = -1;
  ASSERT_EQ(nc.var_id("T2", t2), NC_NOERR);
  ASSERT_EQ(nc.var_id("flat", flat), NC_NOERR);
  std::size_t count = 0;
  EXPECT_EQ(nc.var_count(t2, count), NC_NOERR);
  EXPECT_EQ(count, 12u);

  std::vector<float> rows(8, -1.0f);
  EXPECT_EQ(nc.read_rows(t2, 1, 2, rows), NC_NOERR);
  EXPECT_EQ(rows, (std::vector<float>{5, 6, 7, 8, 9, 10, 11, 12}));

  const std::array<std::size_t, 3> start{0, 2, 1};
  const std::array<std::size_t, 3> edge{1, 1, 3};
  std::vector<float> slab(3);
  EXPECT_EQ(nc.read_slab(t2, start, edge, std::span<float>(slab)), NC_NOERR);
  EXPECT_EQ(slab, (std::vector<float>{10, 11, 12}));

  // Requests past the variable, of the wrong rank or size read nothing.
  std::vector<float> keep(8, -1.0f);
  EXPECT_EQ(nc.read_rows(t2, 2, 2, keep), rn::kShapeMismatch);
  const std::array<std::size_t, 3> far{0, 0, SIZE_MAX};
  EXPECT_EQ(nc.read_slab(t2, far, edge, std::span<float>(slab)), rn::kShapeMismatch);
  EXPECT_EQ(nc.read_rows(flat, 0, 1, std::span<float>(keep).first(4)), rn::kShapeMismatch);
  EXPECT_EQ(nc.read(t2, std::span<float>(keep)), rn::kCountMismatch);
  EXPECT_EQ(keep, std::vector<float>(8, -1.0f));

  EXPECT_FALSE(nc.has_var("Q2"));
  EXPECT_EQ(nc.close(), NC_NOERR);
  EXPECT_FALSE(nc.is_open());
  EXPECT_EQ(nc.close(), NC_EBADID);
}

TEST(NcFile, CheckedCountDetectsOverflow) {
  const std::array<std::size_t, 2> fits{1u << 20, 1u << 20};
  const std::array<std::size_t, 3> over{SIZE_MAX / 2, 3, 0};
  const std::array<std::size_t, 2> too_many{SIZE_MAX / 2, 3};
  std::size_t n = 0;
  EXPECT_TRUE(rn::checked_count(fits, n));
  EXPECT_EQ(n, std::size_t{1} << 40);
  EXPECT_TRUE(rn::checked_count(over, n));  // a zero length makes any product fit
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(rn::checked_count(too_many, n));
}

}  // namespace
