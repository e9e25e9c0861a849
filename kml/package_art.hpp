// The pictures of a globe package, drawn by the program: a shaded dot per
// colour, the grey dot of the network points, the station marker and the
// legend of a tool's classes.  Same input, same bytes.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "raster.hpp"

namespace rn::kml {

/// Side of the square dot icons, in pixels.
inline constexpr int kDotPixels = 32;
/// Width and height of the station marker, in pixels (its tip at the bottom
/// centre).
inline constexpr int kMarkerWidth = 24;
inline constexpr int kMarkerHeight = 32;

/// The colour of a KML colour text (alpha, blue, green, red in hexadecimal);
/// opaque black when the text is not one.
Rgba kml_colour(std::string_view aabbggrr);

/// PNG of a round dot shaded as a lit sphere in `colour`, dark rim.
std::string shaded_dot_png(Rgba colour);
/// PNG of the plain grey dot of the network points.
std::string network_dot_png();
/// PNG of the red station marker.
std::string station_marker_png();

/// One row of a legend: its swatch and its text.
struct LegendRow {
  enum class Swatch { shaded_dot, network_dot, marker };
  Swatch swatch;
  Rgba colour;   ///< shaded_dot only
  float size;    ///< share of the full swatch size, network_dot only
  std::string text;
};

/// A PNG picture and its size in pixels.
struct Picture {
  std::string png;
  int width;
  int height;
};

// Contract: a legend picture: `title` over one line per row, each with its
// swatch left of its text, on a light panel with a border.  The texts hold
// only characters of the built-in font.  Cost: linear in the picture size.
Picture legend_picture(std::string_view title, std::span<const LegendRow> rows);

}  // namespace rn::kml
