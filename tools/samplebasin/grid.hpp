// A 2-D field over a regular grid, and the eight-neighbour (D8) geometry.
//
// Cells are addressed by 0-based column i (west to east) and row j (south to
// north); they are stored row by row from the south, column fastest, so the
// linear index of (i, j) is j * nx + i.  Files that store rows from the
// north flip rows when they are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sb {

template <typename T>
struct Grid {
  int nx = 0;
  int ny = 0;
  std::vector<T> v;

  Grid() = default;
  Grid(int nx_, int ny_, T fill = T{})
      : nx(nx_), ny(ny_), v(static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_), fill) {}

  std::size_t size() const { return v.size(); }
  std::size_t index(int i, int j) const {
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(nx) + static_cast<std::size_t>(i);
  }
  T& at(int i, int j) { return v[index(i, j)]; }
  const T& at(int i, int j) const { return v[index(i, j)]; }
  T& operator[](std::size_t k) { return v[k]; }
  const T& operator[](std::size_t k) const { return v[k]; }
  bool inside(int i, int j) const { return i >= 0 && j >= 0 && i < nx && j < ny; }
  bool on_edge(int i, int j) const { return i == 0 || j == 0 || i == nx - 1 || j == ny - 1; }
};

// D8 directions by index d = 0..7: east, south-east, south, south-west, west,
// north-west, north, north-east.  The flow-direction code of the routing
// grids is 1 << d (1 E, 2 SE, 4 S, 8 SW, 16 W, 32 NW, 64 N, 128 NE).
inline constexpr int kDi[8] = {1, 1, 0, -1, -1, -1, 0, 1};
inline constexpr int kDj[8] = {0, -1, -1, -1, 0, 1, 1, 1};
inline constexpr std::uint8_t kNoDir = 255;  ///< no downstream cell

inline constexpr std::int32_t flow_code(std::uint8_t d) { return d == kNoDir ? 0 : (1 << d); }
/// The direction that points back along d.
inline constexpr std::uint8_t opposite(std::uint8_t d) { return static_cast<std::uint8_t>((d + 4) & 7); }

}  // namespace sb
