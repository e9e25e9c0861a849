#include "kmz_package.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "command_line.hpp"
#include "package_art.hpp"
#include "tile_tree.hpp"

namespace rn::kml {
namespace {

constexpr std::string_view kIconFolder = "icons/";
constexpr std::string_view kTileFolder = "tiles/";
constexpr std::string_view kNetworkIcon = "network.png";
constexpr std::string_view kStationIcon = "station.png";
constexpr std::string_view kLegendPicture = "legend.png";

void put(std::string& s, float v) {
  char b[32];
  s.append(b, std::to_chars(b, b + sizeof b, v).ptr);
}
void put(std::string& s, std::int32_t v) {
  char b[16];
  s.append(b, std::to_chars(b, b + sizeof b, v).ptr);
}
void put(std::string& s, std::size_t v) {
  char b[24];
  s.append(b, std::to_chars(b, b + sizeof b, v).ptr);
}

/// Index of the first class of `classes` that holds `value`; the last when
/// none does (the tools write no value outside their table).
std::uint8_t class_index(std::span<const ValueClass> classes, float value) {
  for (std::size_t c = 0; c < classes.size(); ++c) {
    if (value >= classes[c].lower && (value < classes[c].upper || classes[c].upper == kNoUpper)) {
      return static_cast<std::uint8_t>(c);
    }
  }
  return static_cast<std::uint8_t>(classes.empty() ? 0 : classes.size() - 1);
}

std::string_view colour_of(std::string_view style) {
  for (const ColourStyle& s : kColourStyles) {
    if (s.id == style) return s.color;
  }
  return "ff000000";
}

/// A point's rank in the tile tree, in the upper 32 bits: stations first,
/// then by value or stream order; the lower 32 bits spread points of equal
/// rank evenly (a mix of the point's place in the gathering), so that a
/// coarse tile samples them all over its box rather than the first in file
/// order.
std::uint64_t priority(const PackagePoints::Point& p, std::uint32_t index) {
  std::uint32_t rank = 0;
  switch (p.kind) {
    case PackagePoints::Kind::station:
      rank = std::numeric_limits<std::uint32_t>::max();
      break;
    case PackagePoints::Kind::value: {
      // Values reach 4 (or are infinite): positive, so their bits order as
      // the values do; below the stations' rank.
      std::uint32_t bits = 0;
      static_assert(sizeof bits == sizeof p.value);
      std::memcpy(&bits, &p.value, sizeof bits);
      rank = std::min(bits, std::numeric_limits<std::uint32_t>::max() - 1);
      break;
    }
    case PackagePoints::Kind::node:
    case PackagePoints::Kind::segment:
      rank = static_cast<std::uint32_t>(p.order) ^ 0x80000000u;
      rank = std::min(rank, std::numeric_limits<std::uint32_t>::max() - 1);
      break;
  }
  std::uint32_t mixed = index * 0x9E3779B1u;
  mixed ^= mixed >> 15;
  mixed *= 0x85EBCA77u;
  mixed ^= mixed >> 13;
  return (std::uint64_t{rank} << 32) | mixed;
}

/// Writes the documents of one package.
class Composer {
 public:
  Composer(const PackageLook& look, const Variant& variant, const PackagePoints& gathered)
      : look_(look), variant_(variant), gathered_(gathered) {}

  static void opening(std::string& s) {
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kml xmlns=\"";
    s += kKmlNamespace;
    s += "\">\n<Document>\n";
  }

  /// The opening and the styles of a document; `up` leads from the
  /// document's folder to the top of the archive.
  void head(std::string& s, std::string_view up) const {
    const std::string icons = std::string(up) + std::string(kIconFolder);
    opening(s);
    switch (look_.points) {
      case PointLook::value_class:
        for (const ValueClass& c : look_.classes) {
          s += "<Style id=\"";
          s += c.style;
          s += "\"><IconStyle><scale>0.5</scale><Icon><href>";
          s += icons;
          s += c.style;
          s += ".png</href></Icon></IconStyle></Style>\n";
        }
        break;
      case PointLook::stream_order:
        for (int o = 0; o < kOrderStyles; ++o) {
          s += "<Style id=\"o";
          put(s, static_cast<std::int32_t>(o + 1));
          s += "\"><IconStyle><scale>";
          put(s, order_scale(o));
          s += "</scale><Icon><href>";
          s += icons;
          s += kNetworkIcon;
          s += "</href></Icon></IconStyle><LabelStyle><scale>0</scale></LabelStyle></Style>\n";
        }
        break;
      case PointLook::stations_only:
        break;
    }
    if (!variant_.station_style.empty()) {
      s += "<Style id=\"";
      s += variant_.station_style;
      s += "\"><IconStyle><scale>1</scale><Icon><href>";
      s += icons;
      s += kStationIcon;
      s += "</href></Icon><hotSpot x=\"0.5\" y=\"0\" xunits=\"fraction\" "
           "yunits=\"fraction\"/></IconStyle></Style>\n";
    }
  }

  static void region(std::string& s, const TileBox& box) {
    const std::pair<std::string_view, float> edges[] = {
        {"north", box.north}, {"south", box.south}, {"east", box.east}, {"west", box.west}};
    s += "<Region><LatLonAltBox>";
    for (const auto& [edge, value] : edges) {
      s += '<';
      s += edge;
      s += '>';
      put(s, value);
      s += "</";
      s += edge;
      s += '>';
    }
    s += "</LatLonAltBox><Lod><minLodPixels>";
    put(s, static_cast<std::int32_t>(kTileMinPixels));
    s += "</minLodPixels><maxLodPixels>-1</maxLodPixels></Lod></Region>";
  }

  /// A link from the root to tile `tile`, shown within `box` (always
  /// without one).
  static void network_link(std::string& s, const TileBox* box, std::size_t tile) {
    s += "<NetworkLink>";
    if (box != nullptr) region(s, *box);
    s += "<Link><href>";
    s += tile_name(tile);
    s += "</href>";
    if (box != nullptr) s += "<viewRefreshMode>onRegion</viewRefreshMode>";
    s += "</Link></NetworkLink>\n";
  }

  /// The archive name of tile `tile`.
  static std::string tile_name(std::size_t tile) {
    std::string name(kTileFolder);
    name += 't';
    put(name, tile);
    return name + ".kml";
  }

  static void legend(std::string& s, const Picture& picture) {
    s += "<ScreenOverlay><name>Legend</name><Icon><href>";
    s += kLegendPicture;
    s += "</href></Icon><overlayXY x=\"0\" y=\"0\" xunits=\"fraction\" yunits=\"fraction\"/>"
         "<screenXY x=\"0.01\" y=\"0.02\" xunits=\"fraction\" yunits=\"fraction\"/>"
         "<size x=\"";
    put(s, static_cast<std::int32_t>(picture.width));
    s += "\" y=\"";
    put(s, static_cast<std::int32_t>(picture.height));
    s += "\" xunits=\"pixels\" yunits=\"pixels\"/></ScreenOverlay>\n";
  }

  static void tail(std::string& s) { s += "</Document>\n</kml>\n"; }

  void placemark(std::string& s, const PackagePoints::Point& p) const {
    s += "<Placemark>";
    if (p.kind == PackagePoints::Kind::station) {
      s += "<name>";
      s += gathered_.names()[p.name];
      s += "</name><description>";
      labelled(s, "number=", p.k);
    } else {
      s += "<description>";
      labelled(s, "k=", p.k);
    }
    if (p.kind != PackagePoints::Kind::value) {
      labelled(s, " lat=", p.lat);
      labelled(s, " lon=", p.lon);
    }
    if (p.kind != PackagePoints::Kind::station) labelled(s, " order=", p.order);
    if (p.kind == PackagePoints::Kind::value) labelled(s, " streamflow=", p.value);
    if (p.kind == PackagePoints::Kind::segment || p.kind == PackagePoints::Kind::station) {
      labelled(s, " (ii,jj)=", p.column);
      labelled(s, ",", p.row);
    }
    s += "</description><styleUrl>#";
    switch (p.kind) {
      case PackagePoints::Kind::value:
        s += look_.classes[p.style].style;
        break;
      case PackagePoints::Kind::node:
      case PackagePoints::Kind::segment:
        labelled(s, "o", static_cast<std::int32_t>(p.style + 1));
        break;
      case PackagePoints::Kind::station:
        s += variant_.station_style;
        break;
    }
    s += "</styleUrl><Point><coordinates>";
    labelled(s, "", p.lon);
    labelled(s, ",", p.lat);
    s += "</coordinates></Point></Placemark>\n";
  }

 private:
  template <typename T>
  static void labelled(std::string& s, std::string_view label, T value) {
    s += label;
    put(s, value);
  }

  const PackageLook& look_;
  const Variant& variant_;
  const PackagePoints& gathered_;
};

/// Text of a class bound: the shortest that reads back as the same value.
std::string bound_text(float v) {
  std::string s;
  put(s, v);
  return s;
}

/// The legend's rows: the classes, the stream orders present, the marker.
std::vector<LegendRow> legend_rows(const PackageLook& look, const Variant& variant,
                                   const PackagePoints& gathered) {
  std::vector<LegendRow> rows;
  if (look.points == PointLook::value_class) {
    for (const ValueClass& c : look.classes) {
      rows.push_back({LegendRow::Swatch::shaded_dot, kml_colour(colour_of(c.style)), 1.0f,
                      c.upper == kNoUpper ? bound_text(c.lower) + " and up"
                                          : bound_text(c.lower) + " to " + bound_text(c.upper)});
    }
  } else if (look.points == PointLook::stream_order) {
    int lowest = kOrderStyles, highest = -1;
    for (const PackagePoints::Point& p : gathered.points()) {
      if (p.kind == PackagePoints::Kind::station) continue;
      lowest = std::min<int>(lowest, p.style);
      highest = std::max<int>(highest, p.style);
    }
    for (int o = lowest; o <= highest; ++o) {
      std::string text = bound_text(static_cast<float>(o + 1));
      if (o == kOrderStyles - 1) text += " and up";
      rows.push_back({LegendRow::Swatch::network_dot, {}, order_scale(o) / order_scale(kOrderStyles - 1),
                      text});
    }
  }
  if (!variant.station_style.empty()) rows.push_back({LegendRow::Swatch::marker, {}, 1.0f, "station"});
  return rows;
}

}  // namespace

int order_style(std::int32_t order) { return std::clamp(order, 1, kOrderStyles) - 1; }

float order_scale(int style) { return 0.25f + 0.05f * static_cast<float>(style); }

void PackagePoints::write_value_placemark(float lat, float lon, std::int32_t order, float value,
                                          std::int32_t k, std::string_view, std::string_view) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) return;
  points_.push_back({lat, lon, value, k, order, 0, 0, 0, Kind::value, class_index(look_.classes, value)});
}

void PackagePoints::write_node_placemark(float lat, float lon, std::int32_t order, std::int32_t k) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) return;
  points_.push_back({lat, lon, 0.0f, k, order, 0, 0, 0, Kind::node,
                     static_cast<std::uint8_t>(order_style(order))});
}

void PackagePoints::write_segment_placemark(float lat, float lon, std::int32_t order,
                                            std::int32_t column, std::int32_t row, std::int32_t k) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) return;
  points_.push_back({lat, lon, 0.0f, k, order, column, row, 0, Kind::segment,
                     static_cast<std::uint8_t>(order_style(order))});
}

void PackagePoints::write_station_placemark(float lat, float lon, std::int32_t number,
                                            std::string_view name, std::int32_t column,
                                            std::int32_t row) {
  if (!std::isfinite(lat) || !std::isfinite(lon)) return;
  names_.emplace_back(escape_name(trim_right(name), scratch_));
  points_.push_back({lat, lon, 0.0f, number, 0, column, row,
                     static_cast<std::uint32_t>(names_.size() - 1), Kind::station, 0});
}

void write_package(ZipPackage& file, const PackageLook& look, const Variant& variant,
                   const PackagePoints& gathered) {
  const std::vector<PackagePoints::Point>& points = gathered.points();
  const Picture legend = legend_picture(look.title, legend_rows(look, variant, gathered));
  const Composer composer(look, variant, gathered);

  if (points.size() <= kSingleDocumentLimit) {
    std::string s;
    s.reserve(4096 + points.size() * 200);
    composer.head(s, "");
    for (const PackagePoints::Point& p : points) composer.placemark(s, p);
    Composer::legend(s, legend);
    Composer::tail(s);
    file.add_deflated("doc.kml", std::move(s));
  } else {
    std::vector<TilePoint> tile_points(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      tile_points[i] = {points[i].lon, points[i].lat,
                        priority(points[i], static_cast<std::uint32_t>(i))};
    }
    const TileTree tree = build_tile_tree(tile_points, kTilePlacemarks);
    // The root links every tile itself: the coarsest always, the others by
    // region (see the top of kmz_package.hpp for why not tile by tile).
    std::string root;
    Composer::opening(root);
    for (std::size_t t = 0; t < tree.nodes.size(); ++t) {
      Composer::network_link(root, t == 0 ? nullptr : &tree.nodes[t].box, t);
    }
    Composer::legend(root, legend);
    Composer::tail(root);
    file.add_deflated("doc.kml", std::move(root));
    for (std::size_t t = 0; t < tree.nodes.size(); ++t) {
      const TileNode& node = tree.nodes[t];
      std::string s;
      s.reserve(4096 + node.count * 200);
      composer.head(s, "../");
      if (t != 0) {
        Composer::region(s, node.box);
        s += '\n';
      }
      for (std::size_t i = node.first; i < node.first + node.count; ++i) {
        composer.placemark(s, points[tree.order[i]]);
      }
      Composer::tail(s);
      file.add_deflated(Composer::tile_name(t), std::move(s));
    }
  }

  switch (look.points) {
    case PointLook::value_class:
      for (const ValueClass& c : look.classes) {
        file.add_stored(std::string(kIconFolder) + std::string(c.style) + ".png",
                        shaded_dot_png(kml_colour(colour_of(c.style))));
      }
      break;
    case PointLook::stream_order:
      file.add_stored(std::string(kIconFolder) + std::string(kNetworkIcon), network_dot_png());
      break;
    case PointLook::stations_only:
      break;
  }
  if (!variant.station_style.empty()) {
    file.add_stored(std::string(kIconFolder) + std::string(kStationIcon), station_marker_png());
  }
  file.add_stored(std::string(kLegendPicture), legend.png);
}

}  // namespace rn::kml
