// Indices read from files that point outside what they index: parent grid
// cells of the overlap records, child node numbers and parent record
// positions of the mapping files, grid columns of channel points.  None may
// reach outside an array; each is refused with a message or passed over as
// the program says.
#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <functional>
#include <string>

#include "hostile_support.hpp"

namespace rn::test::hostile {
namespace {

constexpr double kIntMin = INT_MIN;
constexpr double kIntMax = INT_MAX;

void set_values(const Workspace& w, const std::string& file, const std::string& var,
                std::function<double(std::size_t, double)> values) {
  NcEdit edit;
  edit.values_var = var;
  edit.values = std::move(values);
  damage_nc(w / file, edit);
}

// Every other overlap record names a parent cell far outside the parent
// grid (either index, both extremes of the 32-bit range): those records
// reach no perimeter cell and the mapping comes from the others.
TEST(IndexRange, OverlapCellsFarOutsideTheParentGrid) {
  for (const char* var : {"i_index", "j_index"}) {
    SCOPED_TRACE(var);
    Workspace w(program_case("linkweaver"));
    set_values(w, "parent/parent_overlap.nc", var, [](std::size_t k, double v) {
      const double far[] = {kIntMin, kIntMax, -100000.0, 100000.0};
      return k % 2 == 0 ? far[(k / 2) % 4] : v;
    });
    expect_completed(w, w.run());
  }
}

// Overlap counts that would walk outside the records.
TEST(IndexRange, OverlapCountsBeyondTheRecords) {
  struct Case {
    double count;
    const char* message;
  };
  for (const Case& c : {Case{-5.0, "polygon 4 of parent/parent_overlap.nc has a negative overlaps count: -5"},
                        Case{kIntMax, "add up to 2147485123 records, more than its 1478"}}) {
    SCOPED_TRACE(c.message);
    Workspace w(program_case("linkweaver"));
    set_values(w, "parent/parent_overlap.nc", "overlaps",
               [&](std::size_t k, double v) { return k == 3 ? c.count : v; });
    expect_refused(w, w.run(), 1, c.message);
  }
}

// A mapping entry whose child node is not one of the gridNum nodes.
TEST(IndexRange, ChildIndexOutsideTheNodes) {
  for (const double k : {0.0, 285.0, kIntMin}) {
    SCOPED_TRACE(k);
    Workspace w(program_case("reachfeed"));
    set_values(w, "mapping.nc", "childIndex", [&](std::size_t e, double v) { return e == 2 ? k : v; });
    expect_refused(w, w.run(), 1,
                   "Error: entry 3 of mapping.nc has childIndex " + std::to_string(static_cast<long>(k)) +
                       ", outside 1 to gridNum = 284");
  }
}

// Positions in the cache beyond the parent file's feature ids: with
// mapping.nc beside it the cache is rebuilt, alone it is refused.
TEST(IndexRange, CachedPositionsBeyondTheFeatureIds) {
  const ProgramCase& c = program_case("reachfeed");
  for (const bool with_mapping : {true, false}) {
    SCOPED_TRACE(with_mapping ? "mapping.nc beside the cache" : "the cache alone");
    Workspace w(c);
    ASSERT_EQ(w.run().result.status, 0);  // writes mapping_index.nc
    set_values(w, "mapping_index.nc", "pNodeIndex", [](std::size_t e, double v) {
      return e == 0 ? 521.0 : e == 1 ? kIntMin : v;  // 520 feature ids; below 1 means unmatched
    });
    if (!with_mapping) fs::remove(w / "mapping.nc");
    write_file(w / c.output, std::string(kOldOutput));
    const Outcome o = w.run();
    if (with_mapping) {
      expect_completed(w, o);
      EXPECT_NE(o.result.out.find("does not match: pNodeIndex of entry 1 is 521, beyond the 520 "
                                  "feature ids of the input file; rebuilding it from mapping.nc"),
                std::string::npos)
          << describe(o);
    } else {
      expect_refused(w, o, 1, "Error: entry 1 of mapping_index.nc has pNodeIndex 521, beyond the 520");
    }
  }
}

// A cache that cannot be read is rebuilt from mapping.nc.
TEST(IndexRange, DamagedCacheIsRebuilt) {
  Workspace w(program_case("reachfeed"));
  ASSERT_EQ(w.run().result.status, 0);
  truncate_file(w / "mapping_index.nc", 0.5);
  const Outcome o = w.run();
  expect_completed(w, o);
  EXPECT_NE(o.result.out.find("Warning: the file mapping_index.nc does not match: it cannot be read ("),
            std::string::npos)
      << describe(o);
  EXPECT_NE(o.result.err.find("reachfeed: mapping_index.nc: refused: shorter than its header says (truncated)"),
            std::string::npos)
      << describe(o);
}

// Parent record positions outside 1..fcstn: those nodes get -9999 and a
// record naming them.
TEST(IndexRange, RecordPositionsOutsideTheParentFile) {
  Workspace w(program_case("cellfeed"));
  set_values(w, "cellfeed/mapping.nc", "fcstIndex", [](std::size_t k, double v) {
    const double outside[] = {0.0, -1.0, 836.0, kIntMin, kIntMax};
    return k < 5 ? outside[k] : v;
  });
  const Outcome o = w.run();
  expect_completed(w, o);
  EXPECT_NE(o.result.out.find(" k =            4 fcst index =  -2147483648"), std::string::npos)
      << describe(o);
  const std::string dump = ncdump(w / "cell_inflow.nc", "-v qstream");
  EXPECT_NE(dump.find("-9999, -9999, -9999, -9999, -9999,"), std::string::npos) << dump;
}

// Grid columns, rows and orders at both ends of the 32-bit range.
TEST(IndexRange, ExtremeColumnsRowsAndOrders) {
  for (const char* var : {"chanxi", "chanyj", "order"}) {
    SCOPED_TRACE(var);
    Workspace w(program_case("flowglobe"));
    set_values(w, "channel/points_2016010100.nc", var,
               [](std::size_t k, double v) { return k % 3 == 0 ? kIntMin : k % 3 == 1 ? kIntMax : v; });
    expect_completed(w, w.run());
    // A negative step thins the same columns and rows.
    expect_completed(w, w.run({"channel/points_2016010100.nc", "flow.kml", "1", "-1", "seg_info.nc",
                               "station_list.txt"}));
  }
}

}  // namespace
}  // namespace rn::test::hostile
