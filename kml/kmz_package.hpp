// The viewer-ready package of a globe tool (`--kmz`): the tool's points in a
// zip archive with their icons and legend, readable offline by any client.
//
// The package shows the points of the plain document, each styled: value
// placemarks by class, with an icon per class colour; network points as
// grey dots whose size grows with stream order, with no visible label;
// stations as the red marker.  Coordinates are "lon,lat" tuples.
//
// Up to kSingleDocumentLimit placemarks the package holds one document,
// doc.kml, with the legend.  Above, the points are the tiles of a tile tree
// (tile_tree.hpp), tiles/t<n>.kml of at most kTilePlacemarks placemarks
// each, t0 the coarsest: the stations and the points of highest stream
// order or value.  Each tile but t0 carries the Region of its quarter with
// a Lod, and doc.kml holds the legend and one NetworkLink per tile (t0
// always shown, the others with their Region, refreshed on region): a
// viewer that honours regions loads a tile once its quarter is in view and
// large enough on screen.  The regions nest as the tree does.  The root
// links every tile itself rather than each tile its children: a browser
// globe resolves the relative references of a linked document only one
// link deep inside a package (deeper tiles lost their icons), and a GIS
// reader takes the documents linked from the root as its layers, so that
// it reads every point this way.  doc.kml is the only document at the top
// of the archive (clients take it as the root); references are relative to
// the document that holds them (a tile's icons are ../icons/...).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kml_document.hpp"
#include "placemark_sink.hpp"
#include "zip_package.hpp"

namespace rn::kml {

inline constexpr std::size_t kSingleDocumentLimit = 20000;
inline constexpr std::size_t kTilePlacemarks = 5000;
/// Network points get one dot size per stream order up to this one.
inline constexpr int kOrderStyles = 10;
/// A tile shows once its region covers this many pixels on screen.
inline constexpr int kTileMinPixels = 128;

/// How a package shows the tool's points.
enum class PointLook { value_class, stream_order, stations_only };

struct PackageLook {
  PointLook points;
  /// The value classes (value_class only), every written value in one.
  std::span<const ValueClass> classes;
  /// Legend title.
  std::string_view title;
};

/// A class table with `first` in front of the rows of `rest`.
template <std::size_t N>
constexpr std::array<ValueClass, N + 1> with_class_before(ValueClass first,
                                                          const std::array<ValueClass, N>& rest) {
  std::array<ValueClass, N + 1> table{first};
  for (std::size_t i = 0; i < N; ++i) table[i + 1] = rest[i];
  return table;
}

/// `flowglobe_max`'s classes in the package: its table, with the values
/// from 4 up to 10 in a class of their own.
inline constexpr auto kMaximumPackageClasses =
    with_class_before({4.0f, 10.0f, "brown"}, kMaximumClasses);

inline constexpr PackageLook kStreamflowLook{PointLook::value_class, kStandardClasses,
                                             "Streamflow (m3/s)"};
inline constexpr PackageLook kMaximumLook{PointLook::value_class, kMaximumPackageClasses,
                                          "Maximum streamflow (m3/s)"};
inline constexpr PackageLook kNetworkLook{PointLook::stream_order, {}, "Stream order"};
inline constexpr PackageLook kStationLook{PointLook::stations_only, {}, "Gauges"};

/// The placemarks of a package, gathered from a tool's point selection and
/// station list.  A point whose latitude or longitude is not finite cannot
/// be placed on a globe and is left out.
class PackagePoints final : public PlacemarkSink {
 public:
  enum class Kind : std::uint8_t { value, node, segment, station };
  struct Point {
    float lat;
    float lon;
    float value;
    std::int32_t k;       ///< position in the input, or the station number
    std::int32_t order;
    std::int32_t column;
    std::int32_t row;
    std::uint32_t name;   ///< station name: index into names()
    Kind kind;
    std::uint8_t style;   ///< class index, stream-order style, unused for stations
  };

  explicit PackagePoints(const PackageLook& look) : look_(look) {}

  void write_value_placemark(float lat, float lon, std::int32_t order, float value, std::int32_t k,
                             std::string_view style, std::string_view label) override;
  void write_node_placemark(float lat, float lon, std::int32_t order, std::int32_t k) override;
  void write_segment_placemark(float lat, float lon, std::int32_t order, std::int32_t column,
                               std::int32_t row, std::int32_t k) override;
  void write_station_placemark(float lat, float lon, std::int32_t number, std::string_view name,
                               std::int32_t column, std::int32_t row) override;

  const std::vector<Point>& points() const { return points_; }
  /// Station names, trailing blanks removed and markup characters escaped.
  const std::vector<std::string>& names() const { return names_; }
  bool has_stations() const { return !names_.empty(); }

 private:
  const PackageLook& look_;
  std::vector<Point> points_;
  std::vector<std::string> names_;
  std::string scratch_;
};

/// Stream-order style (0-based) of a network point: orders up to 1 share
/// the first, kOrderStyles and up the last.
int order_style(std::int32_t order);

/// Icon scale of stream-order style `style` (0-based).
float order_scale(int style);

// Contract: adds the package's documents, icons and legend to `file`, in
// this order: doc.kml, the tiles (tiles/t<n>.kml, each parent before its
// children; none up to kSingleDocumentLimit points), icons/*.png,
// legend.png.  Station placemarks use the
// variant's station style.  Deterministic.  Cost: O(n log n) for the tree,
// linear in the documents' bytes for the rest; deflating runs beside it.
void write_package(ZipPackage& file, const PackageLook& look, const Variant& variant,
                   const PackagePoints& points);

/// Completes a package opened by the caller: the point placemarks that
/// `points` writes, the station list `obs_file` where the variant has one,
/// then the archive, put in place.
template <typename Points>
void complete_package(ZipPackage& file, const PackageLook& look, const Variant& variant,
                      Points points, std::string_view obs_file = {}) {
  PackagePoints gathered(look);
  points(static_cast<PlacemarkSink&>(gathered));
  if (!variant.station_style.empty()) {
    write_station_list(obs_file, variant.missing_list_message, gathered);
  }
  write_package(file, look, variant, gathered);
  file.commit();
}

}  // namespace rn::kml
