// The viewer-ready packages of the five exporters (--kmz), end to end: what
// a package holds and how its placemarks look, that the plain run's
// standard output and documents stay as they are, the refusals, and the
// tiles of a large set.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "kml_fixtures.hpp"
#include "test_support.hpp"

namespace {
namespace fs = std::filesystem;
using rn::test::read_file;
using rn::test::run;
using rn::test::ScratchDir;
using rn::test::write_cdl;
using rn::test::write_file;
using namespace rn::kml_test;

using Entries = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> names(const Entries& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.first);
  return out;
}

/// Every match of group 1 of `pattern` in `text`.
std::vector<std::string> all(const std::string& text, const std::string& pattern) {
  std::vector<std::string> out;
  const std::regex re(pattern);
  for (auto m = std::sregex_iterator(text.begin(), text.end(), re); m != std::sregex_iterator(); ++m) {
    out.push_back((*m)[1]);
  }
  return out;
}

class KmlPackage : public ExporterFolder {};

TEST_F(KmlPackage, EveryToolPacksItsPointsStyledWithIconsAndLegend) {
  write_cdl(at("chrt.nc"), channel_cdl());
  write_cdl(at("seg.nc"), segment_cdl());
  const std::string list = stations().string();
  struct Case {
    const char* program;
    std::vector<std::string> args;  // "OUT" stands for the output
    std::vector<std::string> icons;
    std::vector<std::string> styles;  // the styleUrl of each placemark, in order
  };
  const Case cases[] = {
      {"flowglobe", {"chrt.nc", "OUT", "2", "3", "none", list},
       {"blue", "green", "yellow", "orange", "red", "purple", "station"},
       {"blue", "green", "purple", "red", "obs", "obs", "obs"}},
      // The 5 and the 7 of acc_streamflowMax have a class of their own (the
      // plain document gives them the style before them: purple, blue).
      {"flowglobe_max", {"chrt.nc", "OUT", "2", "3", "none", list},
       {"brown", "blue", "green", "yellow", "orange", "red", "purple", "station"},
       {"brown", "blue", "brown", "purple", "obs", "obs", "obs"}},
      {"flowglobe_drv1", {"chrt.nc", "OUT", "2", "1"}, {"network"},
       {"o2", "o3", "o3", "o2", "o4", "o2", "o5"}},
      {"flowglobe_seg", {"seg.nc", "OUT", "0", list}, {"network", "station"},
       {"o1", "o1", "o2", "red", "red", "red"}},
      {"gaugeglobe", {"OUT", list}, {"station"}, {"red", "red", "red"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    std::vector<std::string> plain = c.args, packed = c.args;
    std::replace(plain.begin(), plain.end(), std::string("OUT"), std::string("out.kml"));
    std::replace(packed.begin(), packed.end(), std::string("OUT"), std::string("out.kmz"));
    packed.insert(packed.begin(), "--kmz");
    const auto p = tool(c.program, plain);
    const auto k = tool(c.program, packed);
    ASSERT_EQ(k.status, 0) << k.err;
    EXPECT_EQ(k.err, "");
    // The same records as the plain run, the output's name aside.
    EXPECT_EQ(std::regex_replace(k.out, std::regex("out\\.kmz"), "out.kml"), p.out);

    const Entries entries = package_entries(at("out.kmz"));
    std::vector<std::string> expected_names{"doc.kml"};
    for (const std::string& icon : c.icons) expected_names.push_back("icons/" + icon + ".png");
    expected_names.push_back("legend.png");
    EXPECT_EQ(names(entries), expected_names);
    for (const auto& [name, bytes] : entries) {
      if (name.ends_with(".png")) {
        EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name;
      }
    }

    const std::string doc = entry(entries, "doc.kml");
    const std::string plain_doc = read_file(at("out.kml"));
    EXPECT_EQ(count_of(doc, "<Placemark>"), count_of(plain_doc, "<Placemark>"));
    EXPECT_EQ(all(doc, "<styleUrl>#(\\w+)</styleUrl>"), c.styles);
    // Every style it uses is defined, with an icon inside the package.
    for (const std::string& style : std::set<std::string>(c.styles.begin(), c.styles.end())) {
      EXPECT_NE(doc.find("<Style id=\"" + style + "\"><IconStyle>"), std::string::npos) << style;
    }
    for (const std::string& href : all(doc, "<href>([^<]*)</href>")) {
      EXPECT_FALSE(entry(entries, href).empty()) << href << " is not in the package";
    }
    // No address beyond the package: the namespace is the only URI.
    EXPECT_EQ(count_of(doc, "://"), 1u);
    // Coordinates are lon,lat tuples, the plain document's numbers.
    std::vector<std::string> expected_points;
    for (const std::string& tuple :
         all(plain_doc, "<coordinates>\\n *([-0-9.E+]+ *, *[-0-9.E+]+) *\\n")) {
      const auto comma = tuple.find(',');
      char text[64];
      std::snprintf(text, sizeof text, "%.9g,%.9g", std::stof(tuple.substr(0, comma)),
                    std::stof(tuple.substr(comma + 1)));
      expected_points.push_back(text);
    }
    std::vector<std::string> points;
    for (const std::string& tuple : all(doc, "<coordinates>([^<]*)</coordinates>")) {
      const auto comma = tuple.find(',');
      char text[64];
      std::snprintf(text, sizeof text, "%.9g,%.9g", std::stof(tuple.substr(0, comma)),
                    std::stof(tuple.substr(comma + 1)));
      EXPECT_EQ(tuple.find(' '), std::string::npos) << tuple;
      points.push_back(text);
    }
    EXPECT_EQ(points, expected_points);
    // Network points carry no name (no label); stations keep theirs.
    EXPECT_EQ(count_of(doc, "<name>"), 1 + count_of(doc, "<description>number="));
    EXPECT_NE(doc.find("<ScreenOverlay><name>Legend</name><Icon><href>legend.png</href>"),
              std::string::npos);

    // The same inputs give the same bytes.
    const std::string first = read_file(at("out.kmz"));
    ASSERT_EQ(tool(c.program, packed).status, 0);
    EXPECT_EQ(read_file(at("out.kmz")), first);
  }
  // The plain documents of these runs are those of the plain tests.
  EXPECT_EQ(read_file(at("out.kml")), expected("gaugeglobe.kml"));
}

TEST_F(KmlPackage, RefusalsLeaveNoFile) {
  write_cdl(at("chrt.nc"), channel_cdl());
  write_cdl(at("seg.nc"), segment_cdl());
  // A name that does not end in .kmz: refused before anything is read or made.
  for (const auto& [program, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"flowglobe", {"--kmz", "chrt.nc", "out.kml", "1", "1", "none"}},
           {"flowglobe_seg", {"--kmz", "seg.nc", "out.KMZ", "1"}},
           {"gaugeglobe", {"--kmz", "gauges", stations().string()}}}) {
    const auto r = tool(program, args);
    EXPECT_EQ(r.status, 1) << program;
    EXPECT_EQ(r.out, "") << program;
    EXPECT_NE(r.err.find("must end in .kmz"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(at("obs.kml")));
  // Too few arguments: the usage record of the plain run.
  auto r = tool("flowglobe_drv1", {"--kmz", "chrt.nc", "nodes.kmz"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " Usage: inFile outputFile order interval(jump points)\n");
  // A station value that cannot be read, a missing input: no package.
  write_file(at("bad.txt"), "40.1 -105.25 Good 7 120 88\nnorth -105.5 Bad 8 121 89\n");
  r = tool("gaugeglobe", {"--kmz", "g.kmz", "bad.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("bad.txt"), std::string::npos) << r.err;
  r = tool("flowglobe_max", {"--kmz", "none.nc", "m.kmz", "1", "1", "none"});
  EXPECT_EQ(r.status, 1);
  r = tool("flowglobe_drv1", {"--kmz", "chrt.nc", "no_dir/n.kmz", "1", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no_dir/n.kmz"), std::string::npos) << r.err;
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir_.path())) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"bad.txt", "chrt.nc", "obs.kml", "seg.nc"}));
}

struct Box {
  float north, south, east, west;
  bool holds(const Box& o) const {
    return o.north <= north && o.south >= south && o.east <= east && o.west >= west;
  }
  bool meets(const Box& o) const {
    return o.south < north && o.north > south && o.west < east && o.east > west;
  }
};

TEST_F(KmlPackage, LargeSetsAreTilesWhoseRegionsNestWithTheHighestOrdersCoarsest) {
  constexpr int kPoints = 26000;
  write_cdl(at("seg.nc"), large_segment_cdl(kPoints));
  const auto r = tool("flowglobe_seg", {"--kmz", "seg.nc", "seg.kmz", "1", stations().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  const Entries entries = package_entries(at("seg.kmz"));
  const std::string root = entry(entries, "doc.kml");
  EXPECT_EQ(count_of(root, "<Placemark>"), 0u);
  const std::vector<std::string> links = all(root, "<href>(tiles/[^<]*)</href>");
  ASSERT_GT(links.size(), 6u);
  EXPECT_EQ(links[0], "tiles/t0.kml");
  EXPECT_EQ(count_of(root, "<Region>"), links.size() - 1);  // t0 always shown
  EXPECT_EQ(count_of(root, "<viewRefreshMode>onRegion</viewRefreshMode>"), links.size() - 1);

  struct Tile {
    Box box;
    std::vector<int> orders;
  };
  std::vector<Tile> tiles;
  std::map<int, int> seen;  // point k (stations: -number) -> times
  const std::string number = "(-?[0-9.e+-]+)";
  for (std::size_t t = 0; t < links.size(); ++t) {
    const std::string doc = entry(entries, links[t]);
    ASSERT_FALSE(doc.empty()) << links[t];
    const std::size_t placemarks = count_of(doc, "<Placemark>");
    EXPECT_GT(placemarks, 0u) << links[t];
    EXPECT_LE(placemarks, 5000u) << links[t];
    Tile tile{{90, -90, 180, -180}, {}};
    if (t > 0) {
      const auto edge = [&](const char* tag) {
        return std::stof(all(doc, std::string("<") + tag + ">" + number + "</")[0]);
      };
      tile.box = {edge("north"), edge("south"), edge("east"), edge("west")};
      // The root links the tile with the tile's own region.
      EXPECT_NE(root.find(doc.substr(doc.find("<Region>"), doc.find("</Region>") - doc.find("<Region>"))),
                std::string::npos);
    }
    for (const std::string& k : all(doc, "<description>k=([0-9]+)")) ++seen[std::stoi(k)];
    for (const std::string& k : all(doc, "<description>number=([0-9]+)")) {
      EXPECT_EQ(t, 0u) << "stations belong to the coarsest tile";
      ++seen[-std::stoi(k)];
    }
    for (const std::string& o : all(doc, " order=([0-9]+)")) tile.orders.push_back(std::stoi(o));
    for (const std::string& tuple : all(doc, "<coordinates>([^<]*)</coordinates>")) {
      const float lon = std::stof(tuple), lat = std::stof(tuple.substr(tuple.find(',') + 1));
      EXPECT_TRUE(lon >= tile.box.west && lon <= tile.box.east && lat >= tile.box.south &&
                  lat <= tile.box.north) << tuple << " outside " << links[t];
    }
    tiles.push_back(tile);
  }
  // Every point once.
  EXPECT_EQ(seen.size(), kPoints + 3u);
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](const auto& s) { return s.second == 1; }));
  // Regions nest or are apart, and a tile's points rank no lower than those
  // of the tiles within its region: the coarse tiles have the high orders.
  for (std::size_t a = 0; a < tiles.size(); ++a) {
    for (std::size_t b = 0; b < tiles.size(); ++b) {
      if (a == b) continue;
      const Box &A = tiles[a].box, &B = tiles[b].box;
      if (!A.meets(B)) continue;
      EXPECT_TRUE(A.holds(B) || B.holds(A)) << links[a] << " and " << links[b] << " overlap";
      if (A.holds(B) && !B.holds(A)) {
        EXPECT_GE(*std::min_element(tiles[a].orders.begin(), tiles[a].orders.end()),
                  *std::max_element(tiles[b].orders.begin(), tiles[b].orders.end()))
            << links[a] << " over " << links[b];
      }
    }
  }
  // The coarsest tile holds the rare high orders.
  EXPECT_EQ(*std::max_element(tiles[0].orders.begin(), tiles[0].orders.end()), 8);
}

}  // namespace
