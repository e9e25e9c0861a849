// Where the point selections of the five globe tools send their placemarks:
// the plain KML document writes each one as it comes, the package gathers
// them for its tiles.  One interface, so that every selection runs unchanged
// whatever the tool writes.
#pragma once

#include <cstdint>
#include <string_view>

namespace rn::kml {

class PlacemarkSink {
 public:
  /// A point coloured by value: position k in the input, its stream order,
  /// its value, the style the plain document gives it and the description
  /// label of the tool.
  virtual void write_value_placemark(float lat, float lon, std::int32_t order, float value,
                                     std::int32_t k, std::string_view style,
                                     std::string_view label) = 0;
  /// A channel node at position k of the input.
  virtual void write_node_placemark(float lat, float lon, std::int32_t order, std::int32_t k) = 0;
  /// A segment point at position k, with its grid column and row.
  virtual void write_segment_placemark(float lat, float lon, std::int32_t order,
                                       std::int32_t column, std::int32_t row, std::int32_t k) = 0;
  /// A station of a station list: its number, name (trailing blanks not
  /// yet removed) and grid column and row.
  virtual void write_station_placemark(float lat, float lon, std::int32_t number,
                                       std::string_view name, std::int32_t column,
                                       std::int32_t row) = 0;

 protected:
  ~PlacemarkSink() = default;
};

/// Station list overlay: one station placemark per complete station of the
/// list `file` (trailing blanks removed), in file order.  A missing or
/// blank-named list writes `missing_message` and the name as one
/// standard-output record.  A station value that cannot be read ends the
/// program (input error, status 1).
void write_station_list(std::string_view file, std::string_view missing_message,
                        PlacemarkSink& sink);

}  // namespace rn::kml
