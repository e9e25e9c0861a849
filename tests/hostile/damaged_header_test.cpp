// Inputs whose classic headers had random bytes changed, as the damaged-
// header campaign makes them (header_campaign.cpp): copies on which the
// programs crashed or took gigabytes before their inputs were checked.
// Each is now refused when it is opened: status 1, the file named with
// what is wrong with it, no output.  And a netCDF-4 file with damaged
// metadata ends as cleanly.
#include <gtest/gtest.h>

#include "hostile_support.hpp"

namespace rn::test::hostile {
namespace {

struct Row {
  const char* name;   // program case
  const char* input;  // basin input damaged
  int copy;           // copy number in the campaign
  const char* once;   // what the program did with it before
};

constexpr Row kRows[] = {
    {"reachfeed", "channel/reach_2016010100.nc", 25, "SIGSEGV"},
    {"linkweaver", "parent/parent_overlap.nc", 273, "SIGSEGV"},
    {"reachfeed", "channel/reach_2016010100.nc", 10, "over 1 GB"},
    {"linkweaver", "parent/parent_geo.nc", 118, "2.4 GB"},
    {"linkweaver", "parent/parent_links.nc", 36, "over 1 GB"},
    {"linkweaver", "child/child_grid.nc", 102, "over 1 GB"},
    {"cellfeed", "cellfeed/mapping.nc", 108, "over 1 GB"},
    {"cellfeed", "channel/points_2016010100.nc", 23, "over 1 GB"},
    {"flowglobe", "channel/points_2016010100.nc", 105, "over 1 GB"},
    {"flowglobe", "seg_info.nc", 30, "over 1 GB"},
    {"flowglobe_max", "seg_info.nc", 10, "over 1 GB"},
    {"flowglobe_drv1", "channel/points_2016010100.nc", 97, "over 1 GB"},
    {"flowglobe_seg", "seg_info.nc", 100, "over 1 GB"},
    {"siteseries", "forcing/latlon_full/2016010100.forcing.nc", 105, "over 1 GB"},
    {"siteseries_rain", "forcing/lambert_rain/2016010103.forcing.nc", 105, "over 1 GB"},
    {"bedcarve", "child/terrain.nc", 13, "2.4 GB"},
};

TEST(DamagedHeader, OnceFatalCopiesAreRefused) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(row.name) + " " + row.input + " #" + std::to_string(row.copy) + " (once " +
                 row.once + ")");
    Workspace w(program_case(row.name));
    place_classic_inputs(w, row.input, damaged_header_copy(row.name, row.input, row.copy));
    const Outcome o = w.run();
    expect_refused(w, o, 1, fs::path(row.input).filename().string() + ": refused: ");
    EXPECT_LT(o.peak_rss_kb, 256L << 10) << describe(o);
  }
}

// Bytes of a netCDF-4 file's metadata changed: the library's own probe
// process meets them first; the program ends with its open failure.
TEST(DamagedHeader, NetcdfFourMetadataEndsCleanly) {
  const ProgramCase& c = program_case("reachfeed");
  const std::string input = "channel/reach_2016010100.nc";
  const std::string sound = read_file(basin() / input);
  for (const std::size_t at : {std::size_t{8}, std::size_t{44}, std::size_t{200}, std::size_t{700}}) {
    SCOPED_TRACE("bytes changed at " + std::to_string(at));
    std::string damaged = sound;
    for (std::size_t k = at; k < at + 8 && k < damaged.size(); ++k) damaged[k] = '\xFF';
    Workspace w(c);
    write_file(w / input, damaged);
    const Outcome o = w.run();
    EXPECT_NE(o.result.status, 0) << describe(o);
    expect_refused(w, o, o.result.status, "");
  }
}

}  // namespace
}  // namespace rn::test::hostile
