// The netCDF output writer.
#include "nc_writer.hpp"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "nc_test_support.hpp"
#include "test_support.hpp"

namespace {

using rn::test::entries;
using rn::test::outcome_of;
namespace fs = std::filesystem;

// The boundary layout: nodeNum, qstream, ci, cj.
// With `chunk`, the writer's I/O buffer of that size; without, the default.
void write_boundary(const std::string& path, const std::vector<float>& q,
                    const std::vector<std::int32_t>& ci, const std::vector<std::int32_t>& cj,
                    std::optional<std::size_t> chunk = std::nullopt) {
  rn::NcWriter w = chunk ? rn::NcWriter(path, *chunk) : rn::NcWriter(path);
  const int node = w.def_dim("nodeNum", q.size());
  w.def_var("qstream", rn::NcVarType::real32, {node});
  const int ci_id = w.def_var("ci", rn::NcVarType::int32, {node});
  w.def_var("cj", rn::NcVarType::int32, {node});
  w.enddef();
  w.put("qstream", std::span<const float>(q));
  w.put(ci_id, std::span<const std::int32_t>(ci));
  w.put("cj", std::span<const std::int32_t>(cj));
  w.commit();
}

TEST(NcWriter, WritesClassicLayoutIdenticalToAPreFilledFile) {
  rn::test::ScratchDir dir;
  const std::string path = (dir / "out.nc").string();
  const std::vector<float> q{7.0f, -9999.0f};
  const std::vector<std::int32_t> ci{3, 4};
  const std::vector<std::int32_t> cj{1, 2};
  const auto o = outcome_of([&] { write_boundary(path, q, ci, cj); });
  ASSERT_FALSE(o.ended) << o.stop;
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(rn::test::ncdump(path), R"(netcdf out {
dimensions:
	nodeNum = 2 ;
variables:
	float qstream(nodeNum) ;
	int ci(nodeNum) ;
	int cj(nodeNum) ;
data:

 qstream = 7, -9999 ;

 ci = 3, 4 ;

 cj = 1, 2 ;
}
)");
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"out.nc"});

  // The same file through the library's default (pre-filling) create.
  const std::string plain = (dir / "plain.nc").string();
  int ncid = -1;
  int dim = -1;
  int v[3];
  ASSERT_EQ(nc_create(plain.c_str(), NC_CLOBBER, &ncid), NC_NOERR);
  nc_def_dim(ncid, "nodeNum", 2, &dim);
  nc_def_var(ncid, "qstream", NC_FLOAT, 1, &dim, &v[0]);
  nc_def_var(ncid, "ci", NC_INT, 1, &dim, &v[1]);
  nc_def_var(ncid, "cj", NC_INT, 1, &dim, &v[2]);
  nc_enddef(ncid);
  nc_put_var_float(ncid, v[0], q.data());
  nc_put_var_int(ncid, v[1], ci.data());
  nc_put_var_int(ncid, v[2], cj.data());
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
  EXPECT_EQ(rn::test::read_file(path), rn::test::read_file(plain));
}

TEST(NcWriter, BufferSizeChangesNoByteOfTheFile) {
  // Long enough to span several buffers of every size tried.
  rn::test::ScratchDir dir;
  const std::size_t n = 300000;
  std::vector<float> q(n);
  std::vector<std::int32_t> ci(n);
  std::vector<std::int32_t> cj(n);
  for (std::size_t k = 0; k < n; ++k) {
    q[k] = static_cast<float>(k) * 0.25f;
    ci[k] = static_cast<std::int32_t>(k);
    cj[k] = -static_cast<std::int32_t>(k);
  }
  const std::string large = (dir / "large.nc").string();
  ASSERT_FALSE(outcome_of([&] { write_boundary(large, q, ci, cj); }).ended);
  for (const std::size_t chunk : {std::size_t{0}, rn::kSmallIoChunkBytes, std::size_t{5000}}) {
    const std::string other = (dir / ("chunk" + std::to_string(chunk) + ".nc")).string();
    ASSERT_FALSE(outcome_of([&] { write_boundary(other, q, ci, cj, chunk); }).ended);
    EXPECT_EQ(rn::test::read_file(other), rn::test::read_file(large)) << chunk;
  }
}

TEST(NcWriter, ZeroLengthDimensionIsTheUnlimitedOne) {
  rn::test::ScratchDir dir;
  const std::string path = (dir / "map.nc").string();
  const auto o = outcome_of([&] {
    rn::NcWriter w(path);
    const int ndata = w.def_dim("ndata", 0);
    const int grid = w.def_dim("gridNum", 3);
    w.def_var("PnodeId", rn::NcVarType::int32, {ndata});
    w.def_var("weight", rn::NcVarType::real32, {ndata});
    w.def_var("ci_grid", rn::NcVarType::int32, {grid});
    w.enddef();
    w.put("PnodeId", std::span<const std::int32_t>());
    const std::array<std::int32_t, 3> ci{1, 2, 3};
    w.put("ci_grid", std::span<const std::int32_t>(ci));
    w.commit();  // "weight" holds no records and needs no write
  });
  ASSERT_FALSE(o.ended) << o.stop;
  const std::string dump = rn::test::ncdump(path);
  EXPECT_NE(dump.find("ndata = UNLIMITED ; // (0 currently)"), std::string::npos) << dump;
  EXPECT_NE(dump.find("ci_grid = 1, 2, 3 ;"), std::string::npos) << dump;
}

TEST(NcWriter, LibraryFailureGoesToHandleErrAndLeavesNoFile) {
  rn::test::ScratchDir dir;
  const fs::path path = dir / "out.nc";
  rn::test::write_file(path, "previous content");
  const auto o = outcome_of([&] {
    rn::NcWriter w(path.string());
    w.def_dim("nodeNum", 2);
    w.def_var("qstream", rn::NcVarType::real32, {5});  // no such dimension
  });
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.stop, "STOP 2");
  std::string text = nc_strerror(NC_EBADDIM);
  text.resize(80, ' ');
  EXPECT_EQ(o.out, " Error: " + text + "\n");
  EXPECT_EQ(rn::test::read_file(path), "previous content");
  EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"out.nc"});
}

TEST(NcWriter, WrongValueCountOrUnwrittenVariableEndsTheRun) {
  rn::test::ScratchDir dir;
  const std::string path = (dir / "out.nc").string();
  auto o = outcome_of([&] { write_boundary(path, {1.0f, 2.0f}, {1, 2, 3}, {1, 2}); });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "Error: variable ci of " + path + " takes 2 values, 3 given");

  o = outcome_of([&] {
    rn::NcWriter w(path);
    const int n = w.def_dim("nodeNum", 2);
    w.def_var("qstream", rn::NcVarType::real32, {n});
    w.enddef();
    w.commit();
  });
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, "Error: variable qstream of " + path + " was not written");
  EXPECT_TRUE(entries(dir.path()).empty());
}

TEST(NcWriter, MissingFolderIsReported) {
  rn::test::ScratchDir dir;
  const std::string path = (dir / "no" / "out.nc").string();
  const auto o = outcome_of([&] { write_boundary(path, {}, {}, {}); });
  const std::string named = "Error: cannot create output file " + path + ": No such file or directory";
  EXPECT_EQ(o.status, rn::kFailure);
  EXPECT_EQ(o.stop, named);

  // Told so, the writer ends as on a failed library call, after that line.
  const auto lib = outcome_of([&] {
    rn::NcWriter w(path, rn::kSmallIoChunkBytes, rn::CreateFailure::library_error);
  });
  EXPECT_EQ(lib.status, 2);
  EXPECT_EQ(lib.place, named);
  EXPECT_EQ(lib.stop, "STOP 2");
  std::string text = "No such file or directory";
  text.resize(80, ' ');
  EXPECT_EQ(lib.out, " Error: " + text + "\n");
}

}  // namespace
