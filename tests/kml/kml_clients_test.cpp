// Every document the exporters write opens in real KML clients: a GIS reader
// finds the expected number of placemarks, and an XML parser finds the
// document well-formed (station names with markup characters included).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "kml_fixtures.hpp"
#include "test_support.hpp"

namespace {
namespace fs = std::filesystem;
using namespace rn::kml_test;

/// Placemarks a GIS reader finds in `doc` (summed over its layers); -1 when
/// the reader fails to open it.
int placemarks_read(const fs::path& doc) {
  const auto r = rn::test::run("/usr/bin/ogrinfo", {"-ro", "-so", "-al", doc.string()},
                               doc.parent_path());
  if (r.status != 0 || r.out.find("successful") == std::string::npos) return -1;
  int total = 0;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const std::string key = "Feature Count: ";
    if (line.rfind(key, 0) == 0) total += std::stoi(line.substr(key.size()));
  }
  return total;
}

bool well_formed(const fs::path& doc) {
  const auto r = rn::test::run("/usr/bin/xmllint", {"--noout", doc.string()}, doc.parent_path());
  return r.status == 0 && r.err.empty();
}

TEST(KmlClients, EveryDocumentOpensWithItsPlacemarks) {
  rn::test::ScratchDir dir;
  rn::test::write_cdl(dir / "chrt.nc", channel_cdl());
  rn::test::write_cdl(dir / "seg.nc", segment_cdl());
  rn::test::write_cdl(dir / "none.nc", channel_cdl("recNum", 0));
  const std::string list = stations().string();
  struct Case {
    const char* program;
    std::vector<std::string> args;
    int placemarks;
  };
  const Case cases[] = {
      {"flowglobe", {"chrt.nc", "flowglobe.kml", "2", "3", "seg.nc", list}, 4 + 3},
      {"flowglobe", {"chrt.nc", "flowglobe_all.kml", "0", "1", "none", list}, 6 + 3},
      {"flowglobe_max", {"chrt.nc", "flowglobe_max.kml", "2", "3", "seg.nc", list}, 4 + 3},
      {"flowglobe_drv1", {"chrt.nc", "flowglobe_drv1.kml", "2", "2"}, 3},
      {"flowglobe_seg", {"seg.nc", "flowglobe_seg.kml", "1", list}, 2 + 3},
      {"gaugeglobe", {"gaugeglobe.kml", list}, 3},
      {"flowglobe", {"none.nc", "empty_colour.kml", "1", "1", "none"}, 0},
      {"gaugeglobe", {"empty_red.kml", "missing.txt"}, 0},
  };
  for (const Case& c : cases) {
    const auto r = rn::test::run(c.program, c.args, dir.path());
    ASSERT_EQ(r.status, 0) << c.program << ": " << r.err;
    const fs::path doc = dir / c.args[c.program == std::string("gaugeglobe") ? 0 : 1];
    EXPECT_TRUE(well_formed(doc)) << doc;
    EXPECT_EQ(placemarks_read(doc), c.placemarks) << doc;
  }
}

}  // namespace
