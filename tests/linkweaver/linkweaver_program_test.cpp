// End-to-end runs of linkweaver on small basins written as CDL.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "fixtures.hpp"
#include "test_support.hpp"

namespace rn::linkweaver::test {
namespace {

namespace fs = std::filesystem;
using rn::test::ncdump;
using rn::test::read_file;
using rn::test::run;
using rn::test::ScratchDir;
using rn::test::write_file;

// A 4 x 3 child grid whose cell (i, j) lies in parent cell (10 + i, 20 + j).
// Boundary nodes: (1,1) and (2,1) on the south edge (flow north), (2,3) and
// (4,3) on the north edge (flow south, south-west), (1,2) on the west edge
// (flow east), (4,2) on the east edge (flow west); (3,1) and (1,3) are
// channel cells flowing out.
Basin small_basin() {
  Basin b(4, 3);
  for (int j = 1; j <= 3; ++j) {
    for (int i = 1; i <= 4; ++i) b.place(i, j, 10 + i, 20 + j);
  }
  const int orders[3][4] = {{7, 3, 1, 1}, {1, 9, 9, 5}, {1, 2, 1, 4}};  // south row first
  const int flows[3][4] = {{64, 64, 4, 1}, {1, 1, 1, 16}, {1, 4, 1, 8}};
  for (int j = 1; j <= 3; ++j) {
    for (int i = 1; i <= 4; ++i) {
      b.at(b.order, i, j) = orders[j - 1][i - 1];
      b.at(b.flow, i, j) = flows[j - 1][i - 1];
    }
  }
  for (auto [i, j] : {std::pair{1, 1}, {2, 1}, {2, 3}, {4, 3}, {1, 2}, {4, 2}, {3, 1}}) {
    b.at(b.channel, i, j) = 0;
  }
  b.at(b.channel, 1, 3) = -1;
  b.link = {100, 200, 300, 200, 400};
  b.link_order = {3, 2, 5, 9, 1};  // 200 twice: its first order counts
  b.polygons = {
      {100, {{12, 21, 0.5}, {12, 21, 0.125}}},      // perimeter cell 2, twice
      {200, {{12, 23, 0.75}}},                      // cell 8
      {999, {{11, 22, 1.0}}},                       // cell 10; not a known link
      {300, {{14, 22, 0.3}, {100000, -5, 0.9}}},    // cell 5, and far outside
      {400, {{14, 22, 0.7}}},                       // cell 5
  };
  return b;
}

constexpr const char* kSmallRecords =
    " ixrt, jxrt           4           3\n"
    " ix, jx            3           2\n"
    " lat0 , lon0    0.00000000      -105.250000    \n"
    " istart, iend            9          16\n"
    " jstart, jend           19          25\n"
    " child%nodeNum =            6\n"
    "  check read in plink%nlinks =            5\n"
    " before, call get_dimensionNHD \n"
    " ndata, npid =           7           5\n"
    " Warning: id not matched. \n"
    " input Id from mapping file is          999\n"
    // cell 1 (order 7) matches nowhere and takes its own empty list
    " Warning: order does not match. Search neighbour grids.\n"
    " Warning: order does not match from neighbour grids. river node is \n"
    " k=           1  i=           1  j=           1 order=           7\n"
    // cell 6 borrows the two links of cell 5: three slots visited
    " Warning: order does not match. Search neighbour grids.\n"
    " Warning: order does not match. Search neighbour grids.\n"
    " Warning: order does not match. Search neighbour grids.\n"
    // cell 10 (first slot order -999) borrows the one link of cell 8
    " Warning: order does not match. Search neighbour grids.\n"
    " Warning: order does not match. Search neighbour grids.\n"
    "  create mapping.nc\n"
    " ndata =            5 node=           6\n"
    " inter%gridNum=          10\n"
    "  finish define nectdf variables.\n";

constexpr const char* kSmallMapping =
    "netcdf mapping {\n"
    "dimensions:\n"
    "\tndata = 7 ;\n"
    "\tgridNum = 10 ;\n"
    "variables:\n"
    "\tint PnodeId(ndata) ;\n"
    "\t\tPnodeId:long_name = \"parent link identifier\" ;\n"
    "\tint pOrder(ndata) ;\n"
    "\t\tpOrder:long_name = \"stream order of the parent link\" ;\n"
    "\t\tpOrder:_FillValue = -999 ;\n"
    "\tint cOrder(ndata) ;\n"
    "\t\tcOrder:long_name = \"stream order of the child boundary cell\" ;\n"
    "\tfloat weight(ndata) ;\n"
    "\t\tweight:long_name = \"overlap weight of the parent link in the parent cell\" ;\n"
    "\t\tweight:units = \"1\" ;\n"
    "\tint childIndex(ndata) ;\n"
    "\t\tchildIndex:long_name = \"perimeter cell fed by the entry, 1 to gridNum\" ;\n"
    "\tint ci_grid(gridNum) ;\n"
    "\t\tci_grid:long_name = \"child grid column of the perimeter cell\" ;\n"
    "\tint cj_grid(gridNum) ;\n"
    "\t\tcj_grid:long_name = \"child grid row of the perimeter cell, counted from the south\" ;\n"
    "\n"
    "// global attributes:\n"
    "\t\t:Conventions = \"CF-1.8\" ;\n"
    "\t\t:title = \"parent links feeding the child boundary cells, with overlap weights\" ;\n"
    "\t\t:source = \"linkweaver 0.1.0\" ;\n"
    "\t\t:history = \"2016-01-01T00:00:00Z: linkweaver\" ;\n"
    "data:\n\n"
    " PnodeId = 100, 300, 400, 300, 400, 200, 200 ;\n\n"
    " pOrder = 3, 5, 1, 5, 1, 2, 2 ;\n\n"
    " cOrder = 3, 5, 5, 4, 4, 2, 1 ;\n\n"
    " weight = 0.5, 0.3, 0.7, 0.3, 0.7, 0.75, 0.75 ;\n\n"
    " childIndex = 2, 5, 5, 6, 6, 8, 10 ;\n\n"
    " ci_grid = 1, 2, 3, 4, 4, 4, 3, 2, 1, 1 ;\n\n"
    " cj_grid = 1, 1, 1, 1, 2, 3, 3, 3, 3, 2 ;\n"
    "}\n";

TEST(LinkweaverRun, SmallBasinRecordsAndMappingFile) {
  ScratchDir dir;
  Basin b = small_basin();
  b.mapproject = "CEQ";  // only the first two characters count
  b.write(dir.path());
  const auto r = run("linkweaver", {}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kSmallRecords);
  EXPECT_EQ(ncdump(dir / "mapping.nc"), kSmallMapping);
  EXPECT_EQ(ncdump(dir / "mapping.nc", "-k"), "classic\n");
  // Nothing but the output is left in the folder.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 6);
}

TEST(LinkweaverRun, NoEntriesGiveAnUnlimitedEmptyDimension) {
  ScratchDir dir;
  Basin b = small_basin();
  b.polygons = {{100, {{1, 1, 1.0}}}};  // a parent cell far from the child
  b.write(dir.path());
  const auto r = run("linkweaver", {}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string dump = ncdump(dir / "mapping.nc");
  EXPECT_NE(dump.find("\tndata = UNLIMITED ; // (0 currently)\n\tgridNum = 10 ;\n"),
            std::string::npos)
      << dump;
  EXPECT_EQ(dump.find("PnodeId ="), std::string::npos);
  EXPECT_NE(dump.find(" ci_grid = 1, 2, 3, 4, 4, 4, 3, 2, 1, 1 ;"), std::string::npos);
  EXPECT_NE(r.out.find(" ndata =            0 node=           6\n"), std::string::npos);
}

// The geo file's own grid spacing (DX_KM in km, else DX in metres) is
// compared with dxkm (1 km): beyond 0.1 % one warning on the error stream,
// and the run is otherwise the same.  CE grids (dxkm in degrees) are not
// compared.
TEST(LinkweaverRun, GridSpacingOfTheGeoFileIsComparedWithDxkm) {
  const struct {
    const char* projection;
    const char* attributes;
    const char* warning;
  } cases[] = {
      {"ME", "", ""},
      {"ME", "  :DX = 1000.9f ;\n", ""},
      {"ME", "  :DX_KM = 1.f ;\n  :DX = 3000.f ;\n", ""},
      {"CE", "  :DX = 3000.f ;\n", ""},
      {"ME", "  :DX = 3000.f ;\n",
       "Warning: dxkm = 1 km in namelist.nesting differs by more than 0.1 % from the grid spacing "
       "of geo.nc, DX = 3000 m (3 km); the mapping uses dxkm\n"},
      {"ME", "  :DX_KM = 0.998f ;\n",
       "Warning: dxkm = 1 km in namelist.nesting differs by more than 0.1 % from the grid spacing "
       "of geo.nc, DX_KM = 0.998 km; the mapping uses dxkm\n"},
  };
  std::map<std::string, rn::test::RunResult> plain;  // per projection, without attributes
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.projection) + c.attributes);
    ScratchDir dir;
    Basin b = small_basin();
    b.mapproject = c.projection;
    b.geo_attributes = c.attributes;
    b.write(dir.path());
    const auto r = run("linkweaver", {}, dir.path());
    const auto& reference = plain.emplace(c.projection, r).first->second;
    EXPECT_EQ(r.status, reference.status);
    EXPECT_EQ(r.out, reference.out);
    EXPECT_EQ(r.err, c.warning + reference.err);
  }
}

// Failures end the run before mapping.nc is touched: an existing file stays.
TEST(LinkweaverRun, FailuresLeaveTheOldMappingFile) {
  const struct {
    const char* what;
    void (*change)(Basin&);
    int status;
    const char* err;
    const char* out_part;
  } cases[] = {
      {"perimeter cell outside the parent window", [](Basin& b) { b.place(3, 1, 40, 21); }, 231,
       "STOP 999\n", "  check read in plink%nlinks =            5\n"},
      {"21 links in one parent cell",
       [](Basin& b) {
         b.polygons.clear();
         for (int id = 1; id <= 21; ++id) b.polygons.push_back({id, {{12, 21, 0.1}}});
       },
       1, "STOP in pushToArray: size of 20 is too small. \n",
       " input Id from mapping file is           20\n"},  // warnings of the 20 stored come first
      {"lower-case projection code", [](Basin& b) { b.mapproject = "lc"; }, 1, "",
       " Unrecognized project:  lc\n"},
      {"overlap counts beyond the records", [](Basin& b) { b.overlap_counts = {2, 1, 1, 2, 9}; }, 1,
       "STOP In mapping() - the overlaps of nhd.nc add up to 15 records, more than its 7\n",
       " ndata, npid =           7           5\n"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    Basin b = small_basin();
    c.change(b);
    b.write(dir.path());
    write_file(dir / "mapping.nc", "old");
    const auto r = run("linkweaver", {}, dir.path());
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_EQ(r.err, c.err) << c.what;
    EXPECT_NE(r.out.find(c.out_part), std::string::npos) << c.what << "\n" << r.out;
    EXPECT_EQ(read_file(dir / "mapping.nc"), "old") << c.what;
  }
}

TEST(LinkweaverRun, MissingGridVariablesStop) {
  ScratchDir dir;
  Basin b = small_basin();
  b.child_omit = "STREAMORDER";
  b.write(dir.path());
  auto r = run("linkweaver", {}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " ixrt, jxrt           4           3\n"
                   " failed to read the variabe: STREAMORDER\n"
                   " failed to read the netcdf file: child.nc\n"
                   " Error: failed to read variable STREAMORDER in child.nc: NetCDF: Variable not found\n");
  EXPECT_EQ(r.err, "linkweaver: child.nc: STREAMORDER: NetCDF: Variable not found\n"
                   "STOP In get2d_int() - failed to read the netcdf variable\n");

  b.child_omit.clear();
  b.geo_has_xlong = false;
  b.write(dir.path());
  r = run("linkweaver", {}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "linkweaver: geo.nc: XLONG_M: NetCDF: Variable not found\n"
                   "STOP  error reading variable , nf_get_var_real\n");
  EXPECT_NE(r.out.find(" ix, jx            3           2\n"
                       " failed to read the variabe: XLONG_M\n"
                       " failed to read the netcdf file: geo.nc\n"),
            std::string::npos)
      << r.out;
}

TEST(LinkweaverRun, SampleBasinRunsAndRepeatsItself) {
  ScratchDir dir;
  const auto gen = run("samplebasin", {"--preset", "small", dir.path().string()}, dir.path());
  ASSERT_EQ(gen.status, 0) << gen.err;
  const auto first = run("linkweaver", {}, dir.path());
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out.rfind(" ixrt, jxrt", 0), 0u) << first.out;
  std::string header;  // the variable lines, without their attributes
  std::istringstream dump(ncdump(dir / "mapping.nc", "-h"));
  for (std::string line; std::getline(dump, line);) {
    if (line.rfind("\t\t", 0) != 0) header += line + "\n";
  }
  EXPECT_NE(header.find("\tint PnodeId(ndata) ;\n\tint pOrder(ndata) ;\n\tint cOrder(ndata) ;\n"
                        "\tfloat weight(ndata) ;\n\tint childIndex(ndata) ;\n"
                        "\tint ci_grid(gridNum) ;\n\tint cj_grid(gridNum) ;\n\n// global attributes:\n}"),
            std::string::npos)
      << header;
  const std::string bytes = read_file(dir / "mapping.nc");
  const auto second = run("linkweaver", {}, dir.path());
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(read_file(dir / "mapping.nc"), bytes);
}

}  // namespace
}  // namespace rn::linkweaver::test
