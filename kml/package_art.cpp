#include "package_art.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace rn::kml {
namespace {

constexpr Rgba kRimColour{40, 40, 40, 255};
constexpr Rgba kNetworkGrey{110, 110, 110, 235};
constexpr Rgba kMarkerRed{214, 39, 40, 255};
constexpr Rgba kInk{20, 20, 20, 255};

std::uint8_t mix(std::uint8_t a, std::uint8_t b, float t) {
  return static_cast<std::uint8_t>(
      std::lround(static_cast<float>(a) + (static_cast<float>(b) - static_cast<float>(a)) * t));
}

Rgba mix(Rgba a, Rgba b, float t) {
  return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t), mix(a.a, b.a, t)};
}

float squared(float v) { return v * v; }

/// Draws a shaded dot of radius `r` centred at (cx, cy): a thin dark rim
/// and a sphere lit from the upper left.
void shaded_dot(Raster& raster, float cx, float cy, float r, Rgba colour) {
  const auto in_disc = [=](float rr) {
    return [=](float x, float y) { return squared(x - cx) + squared(y - cy) <= rr * rr; };
  };
  const int x0 = static_cast<int>(std::floor(cx - r)), x1 = static_cast<int>(std::ceil(cx + r));
  const int y0 = static_cast<int>(std::floor(cy - r)), y1 = static_cast<int>(std::ceil(cy + r));
  raster.paint(x0, y0, x1, y1, in_disc(r), [](float, float) { return kRimColour; });
  const float inner = r * 0.86f;
  raster.paint(x0, y0, x1, y1, in_disc(inner), [=](float x, float y) {
    // Light falls from the upper left: white towards the highlight, the
    // colour darkened towards the far edge.
    const float d = std::sqrt(squared(x - (cx - inner * 0.35f)) + squared(y - (cy - inner * 0.35f)));
    const float t = std::min(d / (inner * 1.35f), 1.0f);
    if (t < 0.3f) return mix(Rgba{255, 255, 255, 255}, colour, t / 0.3f);
    return mix(colour, Rgba{static_cast<std::uint8_t>(colour.r / 2), static_cast<std::uint8_t>(colour.g / 2),
                            static_cast<std::uint8_t>(colour.b / 2), 255},
               (t - 0.3f) / 0.7f * 0.6f);
  });
}

/// Draws a flat dot of radius `r` at (cx, cy) with a thin lighter rim.
void network_dot(Raster& raster, float cx, float cy, float r) {
  const int x0 = static_cast<int>(std::floor(cx - r)), x1 = static_cast<int>(std::ceil(cx + r));
  const int y0 = static_cast<int>(std::floor(cy - r)), y1 = static_cast<int>(std::ceil(cy + r));
  raster.paint(x0, y0, x1, y1,
               [=](float x, float y) { return squared(x - cx) + squared(y - cy) <= r * r; },
               [=](float x, float y) {
                 const float d = std::sqrt(squared(x - cx) + squared(y - cy)) / r;
                 return d > 0.8f ? Rgba{235, 235, 235, 235} : kNetworkGrey;
               });
}

/// Draws the station marker in the box of width w and height h at (left,
/// top): a round head over a point at the bottom centre, white eye.
void marker(Raster& raster, float left, float top, float w, float h) {
  const float cx = left + w * 0.5f, r = w * 0.5f - 1.0f, cy = top + r + 1.0f;
  const float tip = top + h;
  const auto head_or_tail = [=](float grow) {
    return [=](float x, float y) {
      if (squared(x - cx) + squared(y - cy) <= squared(r + grow)) return true;
      // The tail: a triangle from the head's widest chord down to the tip.
      if (y < cy || y > tip + grow) return false;
      const float half = (r + grow) * (tip - y) / (tip - cy);
      return std::fabs(x - cx) <= half * 0.75f;
    };
  };
  const int x0 = static_cast<int>(left), x1 = static_cast<int>(std::ceil(left + w));
  const int y0 = static_cast<int>(top), y1 = static_cast<int>(std::ceil(tip));
  raster.paint(x0, y0, x1, y1, head_or_tail(0.0f), [](float, float) { return Rgba{110, 10, 10, 255}; });
  raster.paint(x0, y0, x1, y1, head_or_tail(-1.2f), [](float, float) { return kMarkerRed; });
  raster.paint(x0, y0, x1, y1,
               [=](float x, float y) { return squared(x - cx) + squared(y - cy) <= squared(r * 0.36f); },
               [](float, float) { return Rgba{255, 255, 255, 255}; });
}

}  // namespace

Rgba kml_colour(std::string_view aabbggrr) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(aabbggrr.data(), aabbggrr.data() + aabbggrr.size(), value, 16);
  if (aabbggrr.size() != 8 || error != std::errc() || end != aabbggrr.data() + aabbggrr.size()) {
    return {0, 0, 0, 255};
  }
  return {static_cast<std::uint8_t>(value & 0xff), static_cast<std::uint8_t>((value >> 8) & 0xff),
          static_cast<std::uint8_t>((value >> 16) & 0xff), static_cast<std::uint8_t>(value >> 24)};
}

std::string shaded_dot_png(Rgba colour) {
  Raster raster(kDotPixels, kDotPixels);
  shaded_dot(raster, kDotPixels * 0.5f, kDotPixels * 0.5f, kDotPixels * 0.5f - 1.0f, colour);
  return raster.png();
}

std::string network_dot_png() {
  Raster raster(kDotPixels, kDotPixels);
  network_dot(raster, kDotPixels * 0.5f, kDotPixels * 0.5f, kDotPixels * 0.5f - 1.0f);
  return raster.png();
}

std::string station_marker_png() {
  Raster raster(kMarkerWidth, kMarkerHeight);
  marker(raster, 0.0f, 0.0f, kMarkerWidth, kMarkerHeight);
  return raster.png();
}

Picture legend_picture(std::string_view title, std::span<const LegendRow> rows) {
  constexpr int kScale = 2, kMargin = 10, kRowHeight = 26, kSwatch = 20, kGap = 10;
  int width = text_width(title, kScale);
  for (const LegendRow& row : rows) width = std::max(width, kSwatch + kGap + text_width(row.text, kScale));
  width += 2 * kMargin;
  const int height = 2 * kMargin + text_height(kScale) + 8 + static_cast<int>(rows.size()) * kRowHeight;
  Raster raster(width, height);
  raster.fill(0, 0, width, height, Rgba{90, 90, 90, 230});
  raster.fill(1, 1, width - 1, height - 1, Rgba{250, 250, 247, 235});
  raster.text(kMargin, kMargin, title, kScale, kInk);
  int y = kMargin + text_height(kScale) + 8;
  for (const LegendRow& row : rows) {
    const float cx = kMargin + kSwatch * 0.5f, cy = static_cast<float>(y) + kRowHeight * 0.5f;
    switch (row.swatch) {
      case LegendRow::Swatch::shaded_dot:
        shaded_dot(raster, cx, cy, kSwatch * 0.4f, row.colour);
        break;
      case LegendRow::Swatch::network_dot:
        network_dot(raster, cx, cy, std::max(2.0f, kSwatch * 0.5f * row.size));
        break;
      case LegendRow::Swatch::marker:
        marker(raster, cx - 7.0f, cy - 10.0f, 14.0f, 20.0f);
        break;
    }
    raster.text(kMargin + kSwatch + kGap, static_cast<int>(cy) - text_height(kScale) / 2, row.text,
                kScale, kInk);
    y += kRowHeight;
  }
  return {raster.png(), width, height};
}

}  // namespace rn::kml
