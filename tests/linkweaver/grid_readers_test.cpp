// The mapping builder's own readers: the ring of a child grid variable, the
// first cell of a parent field, and the dimension readers' stops.
#include <gtest/gtest.h>

#include <functional>
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

// Stored value 10 * (stored row) + column: cell (i, j) of a 4 x 3 grid,
// rows counted from the south, holds 10 * (4 - j) + i.
std::string grid_cdl(const std::string& dims, const std::string& var) {
  return "netcdf g {\ndimensions:\n" + dims + "variables:\n " + var +
         " ;\ndata:\n v = 11, 12, 13, 14, 21, 22, 23, 24, 31, 32, 33, 34 ;\n}\n";
}

TEST(ReadRing, RowsCountFromTheSouthInEveryLayout) {
  ScratchDir dir;
  const Ring ring(4, 3);
  const std::pair<std::string, std::string> layouts[] = {
      {" y = 3 ;\n x = 4 ;\n", "int v(y, x)"},
      {" t = 1 ;\n y = 3 ;\n x = 4 ;\n", "short v(t, y, x)"},
      {" n = 12 ;\n", "double v(n)"},  // as many values in another shape: file order
  };
  for (const auto& [dims, var] : layouts) {
    write_cdl(dir / "g.nc", grid_cdl(dims, var));
    std::vector<std::int32_t> values;
    read_ring((dir / "g.nc").string(), "v", ring, values);
    ASSERT_EQ(values.size(), ring.size());
    for (int j = 1; j <= 3; ++j) {
      for (int i = 1; i <= 4; ++i) {
        if (i == 1 || i == 4 || j == 1 || j == 3) {
          EXPECT_EQ(values[ring.index(i, j)], 10 * (4 - j) + i) << var << " " << i << "," << j;
        }
      }
    }
  }
}

TEST(ReadRing, AnotherNumberOfValuesIsRefused) {
  ScratchDir dir;
  write_cdl(dir / "g.nc", grid_cdl(" y = 3 ;\n x = 4 ;\n", "float v(y, x)"));
  std::vector<std::int32_t> ints;
  Ending e = ending_of([&] { read_ring((dir / "g.nc").string(), "v", Ring(4, 4), ints); });
  EXPECT_EQ(e.status, 1);
  EXPECT_EQ(e.stop, "STOP In get2d_int() - variable size does not match the array");
  EXPECT_NE(e.out.find("holds 12 values, the array holds 16"), std::string::npos) << e.out;
  e = ending_of([&] { read_first_real((dir / "g.nc").string(), "v", 3, 3); });
  EXPECT_EQ(e.stop, "STOP In get2d_real() - variable size does not match the array");
  EXPECT_EQ(read_first_real((dir / "g.nc").string(), "v", 4, 3), 11.0f);
}

TEST(Readers, StopTextsOfMissingFilesAndDimensions) {
  ScratchDir dir;
  write_cdl(dir / "x.nc", "netcdf x {\ndimensions:\n x = 4 ;\n polyid = 2 ;\nvariables:\n int v(x) ;\n}\n");
  const std::string x = (dir / "x.nc").string();
  std::int32_t a = 0, b = 0;
  ParentLinks links;
  std::vector<float> ring(4);
  const struct {
    std::function<void()> call;
    const char* out;
    const char* stop;
  } cases[] = {
      {[&] { read_geo_dimensions(x, a, b); }, "", "In get_file_dimension() - nf_inq_dimid: west_east problem"},
      {[&] { read_geo_dimensions("no.nc", a, b); }, " failed to openno.nc\n", "In get_file_dimension() - Problem opening file"},
      {[&] { read_child_dimensions(x, a, b); }, "", "In get_file_dimension() - nf_inq_dimid: south_north problem."},
      {[&] { read_child_dimensions("no.nc", a, b); }, " Error in reading file : no.nc\n", "In get_file_dimension() - Problem opening file"},
      {[&] { read_overlap_dimensions(x, a, b); }, " nf_inq_dimid:  data\n", "In get_file_dimension() - nf_inq_dimid:  data"},
      {[&] { read_overlap_dimensions("no.nc", a, b); }, "", "In get_dimensionNDH() - Problem opening mapping"},
      {[&] { read_parent_links(x, links); }, " nf_inq_dimid:  linkDim\n", "In get_dimension() - nf_inq_dimid:  polyid"},
      {[&] { read_parent_links("no.nc", links); }, "", "read_p_link- Problem opening mapping"},
      {[&] { read_ring("no.nc", "v", Ring(2, 2), ring); }, "", "failed to read the integer "},
  };
  for (const auto& c : cases) {
    const Ending e = ending_of(c.call);
    EXPECT_EQ(e.status, 1) << c.stop;
    EXPECT_EQ(e.out, c.out);
    EXPECT_EQ(e.stop, std::string("STOP ") + c.stop);
  }
}

TEST(InitChild, GridWithoutCellsIsRefused) {
  ScratchDir dir;
  write_cdl(dir / "c.nc", "netcdf c {\ndimensions:\n x = UNLIMITED ;\n y = 3 ;\n"
                          "variables:\n int CHANNELGRID(x, y) ;\n}\n");
  NestingConfig config;
  config.fulldom_child_f = (dir / "c.nc").string();
  ChildGrid child;
  PerimeterMatch match;
  const Ending e = ending_of([&] { read_child_grid(config, child, match); });
  EXPECT_EQ(e.out, " ixrt, jxrt           0           3\n");
  EXPECT_EQ(e.stop, "STOP In init_child() - the child routing grid has no cells");
}

}  // namespace
}  // namespace rn::linkweaver::test
