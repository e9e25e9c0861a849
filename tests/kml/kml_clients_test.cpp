// Every document the exporters write on the sample basin opens in real KML
// clients: a GIS reader finds every placemark written, and an XML parser
// finds the document well-formed (station names with markup characters
// included).  Their packages (--kmz) open in the GIS reader's two KML
// drivers with every point in place and styled, and in a browser globe,
// offline, with every placemark drawn and the legend shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
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

/// One feature as the GIS reader lists it: its point and its style.
struct Feature {
  float lon;
  float lat;
  std::string style;
};

/// The features that the GIS reader lists from `source` (all layers):
/// through the package with its libkml driver, or with its plain KML driver
/// alone (which gives no style).
std::vector<Feature> features_read(const std::string& source, const fs::path& dir, bool plain) {
  std::vector<std::string> args;
  if (plain) args = {"--config", "GDAL_SKIP", "LIBKML"};
  for (const char* a : {"-ro", "-al", "-q"}) args.push_back(a);
  args.push_back(source);
  const auto r = rn::test::run("/usr/bin/ogrinfo", args, dir);
  std::vector<Feature> out;
  std::string style;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("OGRFeature(", 0) == 0) style.clear();
    if (line.rfind("  Style = ", 0) == 0) style = line.substr(10);
    float lon = 0, lat = 0;
    if (std::sscanf(line.c_str(), "  POINT (%f %f)", &lon, &lat) == 2) out.push_back({lon, lat, style});
  }
  return out;
}

/// The points of a plain document (lon, lat), in order.
std::vector<std::pair<float, float>> plain_points(const std::string& doc) {
  std::vector<std::pair<float, float>> out;
  const std::regex tuple("<coordinates>\\n *([-0-9.E+]+) *, *([-0-9.E+]+) *\\n");
  for (auto m = std::sregex_iterator(doc.begin(), doc.end(), tuple); m != std::sregex_iterator(); ++m) {
    out.emplace_back(std::stof((*m)[1]), std::stof((*m)[2]));
  }
  return out;
}

/// The styles that the placemarks of a package's document refer to, in order.
std::vector<std::string> package_styles(const std::string& doc) {
  std::vector<std::string> out;
  const std::regex style("<styleUrl>#(\\w+)</styleUrl>");
  for (auto m = std::sregex_iterator(doc.begin(), doc.end(), style); m != std::sregex_iterator(); ++m) {
    std::string style_id = "@";
    style_id += (*m)[1].str();
    out.push_back(std::move(style_id));
  }
  return out;
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

    // Its package: every point at the input's place (the plain document's
    // numbers are the input's), in order, with the style the package gives
    // it, through the package itself and through its document in the zip.
    std::vector<std::string> args = c.args;
    const std::string package = fs::path(c.doc).replace_extension(".kmz").string();
    for (std::string& a : args) {
      if (a == c.doc) a = package;
    }
    args.insert(args.begin(), "--kmz");
    const auto k = rn::test::run(c.program, args, basin);
    ASSERT_EQ(k.status, 0) << c.program << ": " << k.err;
    const auto points = plain_points(rn::test::read_file(doc));
    const std::string inner = entry(package_entries(basin / package), "doc.kml");
    const auto styles = package_styles(inner);
    ASSERT_EQ(styles.size(), points.size()) << package;
    for (const bool plain : {false, true}) {
      SCOPED_TRACE(package + (plain ? " (plain KML driver)" : " (libkml driver)"));
      const auto read = features_read(plain ? "/vsizip/" + package + "/doc.kml" : package, basin, plain);
      ASSERT_EQ(read.size(), points.size());
      for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].lon, points[i].first) << i;
        EXPECT_EQ(read[i].lat, points[i].second) << i;
        EXPECT_EQ(read[i].style, plain ? "" : styles[i]) << i;
      }
    }
  }
}

TEST(KmlClients, EveryTileOfALargePackageReadsThroughThePackage) {
  rn::test::ScratchDir dir;
  rn::test::write_cdl(dir / "seg.nc", large_segment_cdl(21000));
  const auto r = rn::test::run("flowglobe_seg", {"--kmz", "seg.nc", "seg.kmz", "1"}, dir.path());
  ASSERT_EQ(r.status, 0) << r.err;
  // The libkml driver takes the tiles that the root links as its layers.
  EXPECT_EQ(placemarks_read(dir / "seg.kmz"), 21000);
}

/// The number after `"key":` in the report, from `at` on; -1 when absent.
long report_number(const std::string& report, std::size_t at, const std::string& key) {
  const std::size_t found = report.find("\"" + key + "\":", at);
  if (found == std::string::npos) return -1;
  return std::strtol(report.c_str() + found + key.size() + 3, nullptr, 10);
}

// The tour's five packages in a browser globe with no network: every
// placemark drawn with its icon, the legend shown, no load error, no request
// beyond this machine.  Takes the picture of flow.kmz that the guide shows
// (globe_flow.png in the build folder).
TEST(KmlClients, TourPackagesShowOfflineInABrowserGlobe) {
  const fs::path harness = rn::test::source_dir() / "tests/kml/globe";
  if (!fs::exists("/usr/bin/chromium") || !fs::exists("/usr/bin/node") ||
      !fs::exists(harness / "node_modules/cesium/Build/Cesium/Cesium.js") ||
      !fs::exists(harness / "node_modules/playwright-core")) {
    GTEST_SKIP() << "needs /usr/bin/chromium, node and the npm install of tests/kml/globe "
                    "(tools/setup.sh installs them)";
  }
  rn::test::ScratchDir scratch;
  const fs::path demo = scratch / "demo";
  const auto tour = rn::test::run("/bin/bash",
                                  {(rn::test::source_dir() / "docs/tour.sh").string(),
                                   rn::test::bin_dir().string(), demo.string()},
                                  scratch.path());
  ASSERT_EQ(tour.status, 0) << tour.out << tour.err;
  const fs::path shot = rn::test::bin_dir().parent_path() / "globe_flow.png";
  const std::vector<std::string> packages{"flow.kmz", "flow_max.kmz", "nodes.kmz", "segments.kmz",
                                          "gauges.kmz"};
  std::vector<std::string> args{(harness / "globe_test.mjs").string(), (demo / "kml").string()};
  args.insert(args.end(), packages.begin(), packages.end());
  for (const std::string a : {"--screenshot", "flow.kmz"}) args.push_back(a);
  args.push_back(shot.string());
  const auto r = rn::test::run("/usr/bin/node", args, scratch.path());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string& report = r.out;
  EXPECT_EQ(report_number(report, 0, "refused"), 0) << report;
  EXPECT_NE(report.find("\"errors\":[]"), std::string::npos) << report;
  for (const std::string& name : packages) {
    SCOPED_TRACE(name);
    const long placemarks = static_cast<long>(
        count_of(entry(package_entries(demo / "kml" / name), "doc.kml"), "<Placemark>"));
    const std::size_t at = report.find("\"" + name + "\":");
    ASSERT_NE(at, std::string::npos) << report;
    EXPECT_GT(placemarks, 0);
    EXPECT_EQ(report_number(report, at, "entities"), placemarks);
    EXPECT_EQ(report_number(report, at, "shown"), placemarks);
    EXPECT_EQ(report_number(report, at, "drawn"), placemarks);
    EXPECT_EQ(report_number(report, at, "legends"), 1);
  }
  EXPECT_EQ(rn::test::read_file(shot).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

}  // namespace
