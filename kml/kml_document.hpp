// The KML document writer shared by the five globe exporters.
//
// A document is a head with one of two style sets, point placemarks, station
// placemarks from a station list, an optional legend overlay and the end.
// Every line but the first is a text record (text_record.hpp); reals are
// 32-bit values in the 16-character field.  The tools differ only in the
// pieces they combine, which `Variant` holds as data (one row per tool).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "document_file.hpp"
#include "kml_messages.hpp"
#include "placemark_sink.hpp"
#include "record_layout.hpp"
#include "text_record.hpp"

namespace rn::kml {

// --------------------------------------------------------------- icon hosts

/// Complete addresses of the two icons, on the public map-icon host.
inline constexpr std::string_view kRedDotUrl =
    "https://maps.google.com/intl/en_us/mapfiles/ms/icons/red-dot.png";
inline constexpr std::string_view kShadedDotUrl =
    "https://maps.google.com/mapfiles/kml/shapes/shaded_dot.png";

/// Namespace of KML 2.2 documents.
inline constexpr std::string_view kKmlNamespace = "http://www.opengis.net/kml/2.2";

// ------------------------------------------------------------ value classes

inline constexpr float kNoUpper = std::numeric_limits<float>::infinity();

/// One row of a class table: values v with lower <= v < upper take `style`
/// (with upper kNoUpper: every v from lower up, infinity included).
struct ValueClass {
  float lower;
  float upper;
  std::string_view style;
};

/// The streamflow classes of `flowglobe` and of `flowglobe_max`, in table
/// order; a value takes the first row whose range holds it.
inline constexpr std::array<ValueClass, 6> kStandardClasses{{
    {4.0f, 8.0f, "blue"},
    {8.0f, 16.0f, "green"},
    {16.0f, 32.0f, "yellow"},
    {32.0f, 64.0f, "orange"},
    {64.0f, 128.0f, "red"},
    {128.0f, kNoUpper, "purple"},
}};
inline constexpr std::array<ValueClass, 6> kMaximumClasses{{
    {10.0f, 20.0f, "blue"},
    {20.0f, 50.0f, "green"},
    {50.0f, 100.0f, "yellow"},
    {100.0f, 500.0f, "orange"},
    {500.0f, 1000.0f, "red"},
    {1000.0f, kNoUpper, "purple"},
}};

/// Style id of the first row of `classes` that holds `value`, or an empty
/// view when no row does (values below the table, NaN).
std::string_view value_class(std::span<const ValueClass> classes, float value);

/// The colour styles of the colour style set, in the order of the head:
/// style id and KML colour (alpha, blue, green, red; two hexadecimal digits
/// each).
struct ColourStyle {
  std::string_view id;
  std::string_view color;
};
inline constexpr std::array<ColourStyle, 8> kColourStyles{{
    {"brown", "ff336699"},
    {"pink", "ffff00ff"},
    {"red", "ff0000ff"},
    {"purple", "ff800080"},
    {"green", "ff00ff00"},
    {"yellow", "ff00ffff"},
    {"orange", "ff0080ff"},
    {"blue", "ffff0000"},
}};

// ---------------------------------------------------------------- variants

enum class StyleSet { colour, red };

/// What distinguishes the document of one tool from another.
struct Variant {
  StyleSet style_set;
  /// Style id that station placemarks refer to ("obs" or "red"); empty when
  /// the tool has no station list.
  std::string_view station_style;
  /// First item of the record written for a missing station list.
  std::string_view missing_list_message;
  /// Whether the legend overlay precedes the document end.
  bool legend;
};

inline constexpr Variant kFlowglobeVariant{StyleSet::colour, "obs", msg::kStreamflowMissingList,
                                           true};
inline constexpr Variant kFlowglobeDrv1Variant{StyleSet::red, "", "", false};
inline constexpr Variant kFlowglobeSegVariant{StyleSet::red, "red", msg::kMissingList, false};
inline constexpr Variant kGaugeglobeVariant = kFlowglobeSegVariant;

// ---------------------------------------------------------------- document

/// Replaces &, <, >, " and ' in a station name by their character
/// references so that the document stays well-formed XML whatever the name.
/// Returns `name` itself (no copy) when it holds none of them.
std::string_view escape_name(std::string_view name, std::string& scratch);

/// Writes the records of one KML document onto a text stream.  The stream
/// (normally the document's file) is owned by the caller, who also decides
/// when the document is complete; `write_tail` only writes the last records.
/// Placemarks are written through record layouts composed once per process.
class KmlDocument final : public PlacemarkSink {
 public:
  KmlDocument(TextOut& out, const Variant& variant)
      : out_(out), variant_(variant), layouts_(layouts()) {}

  /// The head: XML declaration, kml and Document openings, the style set.
  void write_head();

  /// Value placemark: description "k=" k label order " ,streamflow=" value,
  /// the style reference (trailing blanks removed), the point.
  void write_value_placemark(float lat, float lon, std::int32_t order, float value, std::int32_t k,
                             std::string_view style, std::string_view label) override;

  /// Node placemark: name k, description lat, lon, order, the point.
  void write_node_placemark(float lat, float lon, std::int32_t order, std::int32_t k) override;

  /// Segment placemark: as the node placemark, the description adding the
  /// grid column and row after ",(ii,jj)".
  void write_segment_placemark(float lat, float lon, std::int32_t order, std::int32_t column,
                               std::int32_t row, std::int32_t k) override;

  /// Station placemark with the variant's station style.  `name` is written
  /// with trailing blanks removed and escaped.
  void write_station_placemark(float lat, float lon, std::int32_t number, std::string_view name,
                               std::int32_t column, std::int32_t row) override;

  /// Station list overlay with the variant's message for a missing list
  /// (rn::kml::write_station_list).
  void write_station_list(std::string_view file) {
    kml::write_station_list(file, variant_.missing_list_message, *this);
  }

  /// The legend overlay where the variant has one, then the document end.
  void write_tail();

 private:
  /// The records of each placemark kind, composed once.
  struct Layouts {
    RecordLayout value;
    RecordLayout node;
    RecordLayout segment;
    RecordLayout station;
  };
  static const Layouts& layouts();

  /// One icon style; a colour (empty for none) comes with the scale 0.3.
  void icon_style(std::string_view id, std::string_view color, std::string_view href_open,
                  std::string_view url);

  TextOut& out_;
  const Variant& variant_;
  const Layouts& layouts_;
  std::string scratch_;
};

/// Completes a document opened by the caller: head, the point placemarks
/// that `points` writes, the station list `obs_file` where the variant has
/// one, the end; then renames the document into place.
template <typename Points>
void complete_document(DocumentFile& file, const Variant& variant, Points points,
                       std::string_view obs_file = {}) {
  KmlDocument doc(file.text(), variant);
  doc.write_head();
  points(static_cast<PlacemarkSink&>(doc));
  if (!variant.station_style.empty()) doc.write_station_list(obs_file);
  doc.write_tail();
  file.commit();
}

}  // namespace rn::kml
