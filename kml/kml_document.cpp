#include "kml_document.hpp"

#include <array>

#include "command_line.hpp"
#include "file_names.hpp"
#include "kml_messages.hpp"
#include "list_input.hpp"
#include "program_end.hpp"

namespace rn::kml {

std::string_view value_class(std::span<const ValueClass> classes, float value) {
  for (const ValueClass& c : classes) {
    if (value >= c.lower && (value < c.upper || c.upper == kNoUpper)) return c.style;
  }
  return {};
}

std::string_view escape_name(std::string_view name, std::string& scratch) {
  if (name.find_first_of("&<>\"'") == std::string_view::npos) return name;
  scratch.clear();
  for (char c : name) {
    switch (c) {
      case '&': scratch += "&amp;"; break;
      case '<': scratch += "&lt;"; break;
      case '>': scratch += "&gt;"; break;
      case '"': scratch += "&quot;"; break;
      case '\'': scratch += "&apos;"; break;
      default: scratch += c;
    }
  }
  return scratch;
}

void KmlDocument::write_head() {
  out_.line(R"(<?xml version="1.0" encoding="UTF-8"?>)");
  out_.record("<kml xmlns=\"", kKmlNamespace, "\">");
  out_.record("  <Document> ");
  if (variant_.style_set == StyleSet::colour) {
    // The stations' red dot: its href record carries one more leading blank.
    icon_style("obs", {}, " <href>", kRedDotUrl);
    for (const ColourStyle& s : kColourStyles) icon_style(s.id, s.color, "<href>", kShadedDotUrl);
  } else {
    icon_style("red", {}, "<href>", kRedDotUrl);
  }
}

void KmlDocument::icon_style(std::string_view id, std::string_view color,
                             std::string_view href_open, std::string_view url) {
  out_.record("<Style id=\"", id, "\">");
  out_.record("<IconStyle>");
  if (!color.empty()) {
    out_.record("<color>", color, "</color>");
    out_.record("<scale>0.3</scale>");
  }
  out_.record("<Icon>");
  out_.record(href_open, url, "</href>");
  out_.record("</Icon>");
  out_.record("</IconStyle>");
  out_.record("</Style>");
}

namespace {

/// The point records that end every placemark: longitude, latitude.
RecordLayout& add_point(RecordLayout& layout) {
  return layout.record("<Point>")
      .record("   <coordinates>")
      .record(RealSlot{}, ",", RealSlot{})
      .record("</coordinates>")
      .record("</Point>")
      .record("</Placemark>");
}

/// The records from the grid description of a segment or station placemark
/// up to the end of the description: lat, lon, n, column, row.
RecordLayout& add_grid_description(RecordLayout& layout) {
  return layout.record(RealSlot{}, ",", RealSlot{}, ",", IntSlot{}, ",(ii,jj)", IntSlot{}, ",",
                       IntSlot{})
      .record("</description>");
}

/// Value placemark: k, label, order, value, style, lon, lat.
RecordLayout value_layout() {
  RecordLayout layout;
  layout.record("<Placemark>")
      .record("<description>")
      .record("k=", IntSlot{}, TextSlot{}, IntSlot{}, " ,streamflow=", RealSlot{})
      .record("</description>")
      .record("<styleUrl>#", TextSlot{}, "</styleUrl>");
  return add_point(layout);
}

/// Node placemark: k, lat, lon, order, lon, lat.
RecordLayout node_layout() {
  RecordLayout layout;
  layout.record("<Placemark>")
      .record("<name>", IntSlot{}, "</name>")
      .record("<description>")
      .record(RealSlot{}, ",", RealSlot{}, ",", IntSlot{})
      .record("</description>");
  return add_point(layout);
}

/// Segment placemark: k, lat, lon, order, column, row, lon, lat.
RecordLayout segment_layout() {
  RecordLayout layout;
  layout.record("<Placemark>").record("<name>", IntSlot{}, "</name>").record("<description>");
  return add_point(add_grid_description(layout));
}

/// Station placemark: name, lat, lon, number, column, row, style, lon, lat.
RecordLayout station_layout() {
  RecordLayout layout;
  layout.record("<Placemark>").record("<name>", TextSlot{}, "</name>").record("<description>");
  add_grid_description(layout).record("<styleUrl>#", TextSlot{}, "</styleUrl>");
  return add_point(layout);
}

}  // namespace

const KmlDocument::Layouts& KmlDocument::layouts() {
  static const Layouts composed{value_layout(), node_layout(), segment_layout(),
                                station_layout()};
  return composed;
}

void KmlDocument::write_value_placemark(float lat, float lon, std::int32_t order, float value,
                                        std::int32_t k, std::string_view style,
                                        std::string_view label) {
  layouts_.value.write(out_, k, label, order, value, trim_right(style), lon, lat);
}

void KmlDocument::write_node_placemark(float lat, float lon, std::int32_t order, std::int32_t k) {
  layouts_.node.write(out_, k, lat, lon, order, lon, lat);
}

void KmlDocument::write_segment_placemark(float lat, float lon, std::int32_t order,
                                          std::int32_t column, std::int32_t row, std::int32_t k) {
  layouts_.segment.write(out_, k, lat, lon, order, column, row, lon, lat);
}

void KmlDocument::write_station_placemark(float lat, float lon, std::int32_t number,
                                          std::string_view name, std::int32_t column,
                                          std::int32_t row) {
  layouts_.station.write(out_, escape_name(trim_right(name), scratch_), lat, lon, number, column,
                         row, variant_.station_style, lon, lat);
}

// Contract: writes one station placemark per complete station of the list,
// in file order; a station cut short by the end of the file is dropped.  A
// missing or blank-named list writes one message record and no placemark.
// A value that cannot be read as its type ends the program (status 1)
// before anything further is written.  Cost: linear in the list's size.
void write_station_list(std::string_view file, std::string_view missing_message,
                        PlacemarkSink& sink) {
  const std::string_view name = trim_right(file);
  if (name.empty() || !file_exists(name)) {
    out().record(missing_message, name);
    return;
  }
  const std::string path(name);
  std::string text;
  if (const ReadResult r = read_text_file(path, text); !r.ok()) fail(msg::kError + r.message);
  StationReader stations(text);
  Station s;
  for (;;) {
    const ReadResult r = stations.next(s);
    if (r.status == ReadStatus::end_of_file) return;
    if (!r.ok()) fail(msg::kStationListHead + path + msg::kReason + r.message);
    sink.write_station_placemark(s.lat, s.lon, s.number, s.name, s.column, s.row);
  }
}

void KmlDocument::write_tail() {
  if (variant_.legend) {
    out_.record("<ScreenOverlay>");
    out_.record("<name>Legend</name>");
    out_.record("<Icon>");
    out_.record("<href>bar.gif</href>");
    out_.record("</Icon>");
    out_.record(R"(<overlayXY x="0.01" y="0.02" xunits="fraction" yunits="fraction"/>)");
    out_.record(R"(<screenXY x="0.01" y="0.02" xunits="fraction" yunits="fraction"/>)");
    out_.record(R"(<rotationXY x="0" y="0" xunits="fraction" yunits="fraction"/>)");
    out_.record(R"(<size x="0.5" y="0.08" xunits="fraction" yunits="fraction"/>)");
    out_.record("</ScreenOverlay>");
  }
  out_.record("  </Document> ");
  out_.record("  </kml> ");
}

}  // namespace rn::kml
