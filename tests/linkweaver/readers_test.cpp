// The mapping builder's own readers: the ring of a child grid variable, the
// first cell of a parent field, and the dimension readers' stops.
#include <gtest/gtest.h>

#include <string>

#include "child_grid.hpp"
#include "fixtures.hpp"
#include "grid_readers.hpp"
#include "parent_network.hpp"
#include "test_support.hpp"

namespace rn::linkweaver::test {
namespace {

using rn::test::ScratchDir;
using rn::test::write_cdl;

// A 4 x 3 grid whose stored value is 10 * (stored row) + column, so that
// cell (i, j) counted from the south holds 10 * (4 - j) + i.
constexpr const char* kGridData =
    "  v = 11, 12, 13, 14, 21, 22, 23, 24, 31, 32, 33, 34 ;\n}\n";

std::vector<std::int32_t> ring_of(const std::string& file, const Ring& ring) {
  std::vector<std::int32_t> values(ring.size());
  read_ring(file, "v", ring, values);
  return values;
}

void expect_reversed_rows(const Ring& ring, const std::vector<std::int32_t>& values) {
  for (int j = 1; j <= 3; ++j) {
    for (int i = 1; i <= 4; ++i) {
      if (i != 1 && i != 4 && j != 1 && j != 3) continue;
      EXPECT_EQ(values[ring.index(i, j)], 10 * (4 - j) + i) << i << "," << j;
    }
  }
}

TEST(ReadRing, RowsCountFromTheSouthWithAndWithoutATimeDimension) {
  ScratchDir dir;
  const Ring ring(4, 3);
  write_cdl(dir / "a.nc", std::string("netcdf a {\ndimensions:\n y = 3 ;\n x = 4 ;\n"
                                      "variables:\n int v(y, x) ;\ndata:\n") + kGridData);
  expect_reversed_rows(ring, ring_of((dir / "a.nc").string(), ring));
  write_cdl(dir / "b.nc", std::string("netcdf b {\ndimensions:\n t = 1 ;\n y = 3 ;\n x = 4 ;\n"
                                      "variables:\n short v(t, y, x) ;\ndata:\n") + kGridData);
  expect_reversed_rows(ring, ring_of((dir / "b.nc").string(), ring));
  // Another layout of as many values reads in file order all the same.
  write_cdl(dir / "c.nc", std::string("netcdf c {\ndimensions:\n n = 12 ;\n"
                                      "variables:\n int v(n) ;\ndata:\n") + kGridData);
  expect_reversed_rows(ring, ring_of((dir / "c.nc").string(), ring));
}

TEST(ReadRing, ReadsRealsToo) {
  ScratchDir dir;
  const Ring ring(2, 2);
  write_cdl(dir / "r.nc", "netcdf r {\ndimensions:\n y = 2 ;\n x = 2 ;\n"
                          "variables:\n double v(y, x) ;\ndata:\n v = 1.5, 2.5, 3.5, 4.5 ;\n}\n");
  std::vector<float> values(ring.size());
  read_ring((dir / "r.nc").string(), "v", ring, values);
  EXPECT_EQ(values[ring.index(1, 1)], 3.5f);
  EXPECT_EQ(values[ring.index(2, 2)], 2.5f);
}

TEST(ReadRing, AnotherNumberOfValuesIsRefused) {
  ScratchDir dir;
  write_cdl(dir / "a.nc", std::string("netcdf a {\ndimensions:\n y = 3 ;\n x = 4 ;\n"
                                      "variables:\n int v(y, x) ;\ndata:\n") + kGridData);
  const Ring ring(4, 4);
  const Ending e = ending_of([&] { ring_of((dir / "a.nc").string(), ring); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In get2d_int() - variable size does not match the array");
  EXPECT_NE(e.out.find("holds 12 values, the array holds 16"), std::string::npos) << e.out;
}

TEST(ReadRing, FileThatCannotBeOpened) {
  const Ring ring(2, 2);
  const Ending e = ending_of([&] { ring_of("/nonexistent/child.nc", ring); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP failed to read the integer ");
  EXPECT_EQ(e.out, "");
}

TEST(FirstReal, FirstStoredValueOfTheField) {
  ScratchDir dir;
  write_cdl(dir / "g.nc", "netcdf g {\ndimensions:\n Time = 1 ;\n south_north = 2 ;\n"
                          " west_east = 2 ;\nvariables:\n float XLAT_M(Time, south_north, west_east) ;\n"
                          "data:\n XLAT_M = 40.1, 2, 3, 4 ;\n}\n");
  EXPECT_EQ(read_first_real((dir / "g.nc").string(), "XLAT_M", 2, 2), 40.1f);
  const Ending e = ending_of([&] { read_first_real((dir / "g.nc").string(), "XLAT_M", 3, 2); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In get2d_real() - variable size does not match the array");
}

TEST(DimensionReaders, StopTexts) {
  ScratchDir dir;
  write_cdl(dir / "x.nc", "netcdf x {\ndimensions:\n x = 4 ;\nvariables:\n int v(x) ;\n}\n");
  std::int32_t a = 0, b = 0;
  Ending e = ending_of([&] { get_geo_dimension((dir / "x.nc").string(), a, b); });
  EXPECT_EQ(e.stop, "STOP In get_file_dimension() - nf_inq_dimid: west_east problem");
  e = ending_of([&] { read_grid_dimensions(kChildDimensions, (dir / "x.nc").string(), a, b); });
  EXPECT_EQ(e.stop, "STOP In get_file_dimension() - nf_inq_dimid: south_north problem.");
  e = ending_of([&] { read_grid_dimensions(kChildDimensions, "missing.nc", a, b); });
  EXPECT_EQ(e.out, " Error in reading file : missing.nc\n");
  EXPECT_EQ(e.stop, "STOP In get_file_dimension() - Problem opening file");
  e = ending_of([&] { get_geo_dimension("missing.nc", a, b); });
  EXPECT_EQ(e.out, " failed to openmissing.nc\n");

  e = ending_of([&] { get_dimensionNHD((dir / "x.nc").string(), a, b); });
  EXPECT_EQ(e.out, " nf_inq_dimid:  polyid\n");
  EXPECT_EQ(e.stop, "STOP In get_dimension() - nf_inq_dimid:  polyid");
  e = ending_of([&] { get_dimensionNHD("missing.nc", a, b); });
  EXPECT_EQ(e.stop, "STOP In get_dimensionNDH() - Problem opening mapping");

  Plink plink;
  e = ending_of([&] { read_p_link((dir / "x.nc").string(), plink); });
  EXPECT_EQ(e.out, " nf_inq_dimid:  linkDim\n");
  EXPECT_EQ(e.stop, "STOP In get_dimension() - nf_inq_dimid:  polyid");
  e = ending_of([&] { read_p_link("missing.nc", plink); });
  EXPECT_EQ(e.stop, "STOP read_p_link- Problem opening mapping");
}

TEST(DimensionReaders, DataDimensionMissing) {
  ScratchDir dir;
  write_cdl(dir / "p.nc", "netcdf p {\ndimensions:\n polyid = 2 ;\nvariables:\n int polyid(polyid) ;\n}\n");
  std::int32_t ndata = 0, npid = 0;
  const Ending e = ending_of([&] { get_dimensionNHD((dir / "p.nc").string(), ndata, npid); });
  EXPECT_EQ(e.out, " nf_inq_dimid:  data\n");
  EXPECT_EQ(e.stop, "STOP In get_file_dimension() - nf_inq_dimid:  data");
}

TEST(InitChild, GridWithoutCellsIsRefused) {
  ScratchDir dir;
  write_cdl(dir / "c.nc", "netcdf c {\ndimensions:\n x = UNLIMITED ;\n y = 3 ;\n"
                          "variables:\n int CHANNELGRID(x, y) ;\n}\n");
  Nlst nlst;
  nlst.fulldom_child_f = (dir / "c.nc").string();
  Child child;
  Inter inter;
  const Ending e = ending_of([&] { init_child(nlst, child, inter); });
  EXPECT_EQ(e.out, " ixrt, jxrt           0           3\n");
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In init_child() - the child routing grid has no cells");
}

}  // namespace
}  // namespace rn::linkweaver::test
