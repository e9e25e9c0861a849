#include "raster.hpp"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "bitmap_font.hpp"

namespace rn::kml {

Rgba Raster::at(int x, int y) const {
  const std::uint8_t* p = &pixels_[(std::size_t(y) * width_ + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

void Raster::blend(int x, int y, Rgba c, float coverage) {
  std::uint8_t* p = &pixels_[(std::size_t(y) * width_ + x) * 4];
  const float src_a = coverage * static_cast<float>(c.a) / 255.0f;
  const float dst_a = static_cast<float>(p[3]) / 255.0f;
  const float out_a = src_a + dst_a * (1.0f - src_a);
  if (out_a <= 0.0f) return;
  const std::uint8_t src[3] = {c.r, c.g, c.b};
  for (int k = 0; k < 3; ++k) {
    const float v = (static_cast<float>(src[k]) * src_a +
                     static_cast<float>(p[k]) * dst_a * (1.0f - src_a)) / out_a;
    p[k] = static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f)));
  }
  p[3] = static_cast<std::uint8_t>(std::lround(out_a * 255.0f));
}

void Raster::paint(int x0, int y0, int x1, int y1, const std::function<bool(float, float)>& inside,
                   const std::function<Rgba(float, float)>& colour) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  constexpr int kSamples = 4;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      int hits = 0;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          hits += inside(static_cast<float>(x) + (static_cast<float>(sx) + 0.5f) / kSamples,
                         static_cast<float>(y) + (static_cast<float>(sy) + 0.5f) / kSamples);
        }
      }
      if (hits == 0) continue;
      blend(x, y, colour(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f),
            static_cast<float>(hits) / (kSamples * kSamples));
    }
  }
}

void Raster::fill(int x0, int y0, int x1, int y1, Rgba colour) {
  for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y) {
    for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) blend(x, y, colour, 1.0f);
  }
}

int text_width(std::string_view text, int scale) {
  return text.empty() ? 0
                      : static_cast<int>(text.size()) * kGlyphAdvance * scale - scale;
}

int text_height(int scale) { return kGlyphHeight * scale; }

int Raster::text(int x, int y, std::string_view text, int scale, Rgba colour) {
  for (char c : text) {
    const auto* rows = glyph(c);
    if (rows == nullptr) throw std::logic_error("bitmap font: no glyph for a legend character");
    for (int row = 0; row < kGlyphHeight; ++row) {
      for (int col = 0; col < kGlyphWidth; ++col) {
        if (((*rows)[row] >> (kGlyphWidth - 1 - col)) & 1) {
          fill(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale,
               colour);
        }
      }
    }
    x += kGlyphAdvance * scale;
  }
  return x;
}

std::string Raster::png() const {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width_);
  image.height = static_cast<png_uint_32>(height_);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, pixels_.data(), 0, nullptr)) {
    throw std::runtime_error(std::string("PNG encoding: ") + image.message);
  }
  std::string bytes(size, '\0');
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels_.data(), 0, nullptr)) {
    throw std::runtime_error(std::string("PNG encoding: ") + image.message);
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace rn::kml
