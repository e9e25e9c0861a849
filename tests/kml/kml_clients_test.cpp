// Every document the exporters write on the sample basin opens in real KML
// clients: a GIS reader finds every placemark written, and an XML parser
// finds the document well-formed (station names with markup characters
// included).
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

TEST(KmlClients, SampleBasinDocumentsOpen) {
  rn::test::ScratchDir dir;
  const auto made = rn::test::run("samplebasin", {"--preset", "small", "basin"}, dir.path());
  ASSERT_EQ(made.status, 0) << made.err;
  const fs::path basin = dir / "basin";
  const std::string points = "channel/points_2016010100.nc";
  const int stations = static_cast<int>(count_of(rn::test::read_file(basin / "station_list.txt"), "\n"));
  const std::string header = rn::test::ncdump(basin / points, "-h");
  const int fcstn = std::stoi(header.substr(header.find("recNum = ") + 9));
  ASSERT_GT(stations, 0);
  ASSERT_GT(fcstn, 0);
  const std::string stations_with_markup = rn::kml_test::stations().string();
  struct Case {
    const char* program;
    std::vector<std::string> args;
    const char* doc;
    int placemarks;  // -1: as many as the document holds, checked apart
  };
  const Case cases[] = {
      {"flowglobe", {points, "flowglobe.kml", "1", "2", "seg_info.nc", "station_list.txt"},
       "flowglobe.kml", -1},
      {"flowglobe_max", {points, "max.kml", "1", "1", "seg_info.nc", "station_list.txt"},
       "max.kml", -1},
      {"flowglobe_drv1", {points, "nodes.kml", "1", "1"}, "nodes.kml", fcstn},
      {"flowglobe_seg", {"seg_info.nc", "segments.kml", "0", "station_list.txt"},
       "segments.kml", -1},
      {"gaugeglobe", {"gauges.kml", "station_list.txt"}, "gauges.kml", stations},
      {"gaugeglobe", {"markup.kml", stations_with_markup}, "markup.kml", 3},
      {"gaugeglobe", {"empty.kml", "no_list.txt"}, "empty.kml", 0},
  };
  for (const Case& c : cases) {
    const auto r = rn::test::run(c.program, c.args, basin);
    ASSERT_EQ(r.status, 0) << c.program << ": " << r.err;
    const fs::path doc = basin / c.doc;
    const int written = static_cast<int>(count_of(rn::test::read_file(doc), "<Placemark>"));
    EXPECT_TRUE(well_formed(doc)) << doc;
    EXPECT_EQ(placemarks_read(doc), written) << doc;
    if (c.placemarks >= 0) {
      EXPECT_EQ(written, c.placemarks) << doc;
    } else {
      EXPECT_GT(written, stations) << doc;  // points as well as stations
    }
  }
}

}  // namespace
