// Small RGBA pictures drawn by the program (the icons and the legend of a
// globe package) and their PNG encoding.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace rn::kml {

struct Rgba {
  std::uint8_t r, g, b, a;
};

/// A picture of width x height pixels, row 0 at the top, transparent when new.
class Raster {
 public:
  Raster(int width, int height) : width_(width), height_(height), pixels_(std::size_t(width) * height * 4, 0) {}
  int width() const { return width_; }
  int height() const { return height_; }
  Rgba at(int x, int y) const;

  // Contract: lays a shape over the picture ("over" compositing, not
  // premultiplied).  `inside(x, y)` tells whether a point of the picture
  // plane (pixel (i, j) covers [i, i+1) x [j, j+1)) belongs to the shape;
  // `colour(x, y)` gives its colour there.  Each pixel is sampled on a 4 x 4
  // grid, so edges are smoothed; the colour is taken at the pixel centre.
  // Cost: 16 tests per pixel of the box [x0, x1) x [y0, y1) (clipped).
  void paint(int x0, int y0, int x1, int y1, const std::function<bool(float, float)>& inside,
             const std::function<Rgba(float, float)>& colour);

  /// Fills the rectangle [x0, x1) x [y0, y1) with `colour` (no smoothing).
  void fill(int x0, int y0, int x1, int y1, Rgba colour);

  /// Writes `text` with its top-left corner at (x, y), each font pixel
  /// `scale` x `scale` pixels; returns the x after the last character.
  /// Characters the built-in font lacks are a programming error
  /// (std::logic_error).
  int text(int x, int y, std::string_view text, int scale, Rgba colour);

  /// The PNG file of the picture (8-bit RGBA, no time stamp: the same
  /// picture gives the same bytes).
  std::string png() const;

 private:
  void blend(int x, int y, Rgba colour, float coverage);

  int width_;
  int height_;
  std::vector<std::uint8_t> pixels_;
};

/// Width in pixels of `text` in the built-in font at `scale`.
int text_width(std::string_view text, int scale);
/// Height of a line of the built-in font at `scale`.
int text_height(int scale);

}  // namespace rn::kml
