#include "terrain_gen.hpp"

#include <cmath>

#include "noise.hpp"
#include "random.hpp"

namespace rn::bench {

Terrain make_terrain(std::int32_t ix, std::int32_t jx, std::uint64_t seed) {
  Terrain t;
  t.ix = ix;
  t.jx = jx;
  const std::size_t n = static_cast<std::size_t>(ix) * static_cast<std::size_t>(jx);
  t.height.resize(n);
  t.channel.assign(n, -999);
  constexpr double kCellKm = 0.1;
  // Relief: octaves from 100 km down to two cells, each half the one before.
  const sb::FractalNoise relief(seed, 100.0, 600.0, 1.0);
  // Wide closed basins, about one per 600 x 600 cells.
  struct Bowl {
    float x, y, r, depth;
  };
  std::vector<Bowl> bowls;
  const int nbowls = 1 + static_cast<int>(static_cast<std::int64_t>(ix) * jx / 360000);
  for (int b = 0; b < nbowls; ++b) {
    const std::uint64_t h = sb::hash4(seed, 1, static_cast<std::uint64_t>(b));
    bowls.push_back({static_cast<float>(h % static_cast<std::uint64_t>(ix)),
                     static_cast<float>((h >> 20) % static_cast<std::uint64_t>(jx)),
                     40.0f + static_cast<float>((h >> 40) % 120),
                     30.0f + static_cast<float>((h >> 50) % 60)});
  }
  for (std::int32_t j = 0; j < jx; ++j) {
    for (std::int32_t i = 0; i < ix; ++i) {
      const float x = static_cast<float>(i), y = static_cast<float>(j);
      float h = static_cast<float>(relief.value(i * kCellKm, j * kCellKm, 2 * kCellKm));
      h += 250.0f + 0.02f * y;  // land rises away from the sea at j = 1
      for (const Bowl& b : bowls) {
        const float dx = x - b.x, dy = y - b.y;
        const float q = (dx * dx + dy * dy) / (b.r * b.r);
        if (q < 1.0f) h -= b.depth * (1.0f - q) * (1.0f - q);
      }
      // Survey noise of a few decimetres: many small pits.
      h += 0.8f * static_cast<float>(sb::unit(sb::hash4(seed, 2, static_cast<std::uint64_t>(i),
                                                        static_cast<std::uint64_t>(j))) -
                                     0.5);
      const std::size_t c = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ix;
      t.height[c] = h;
      if (h < 0.0f) t.channel[c] = 1;  // sea
    }
  }
  // Water lakes: about one per 250 x 250 cells, a disc of water cells.
  const int nlakes = static_cast<int>(static_cast<std::int64_t>(ix) * jx / 62500);
  for (int l = 0; l < nlakes; ++l) {
    const std::uint64_t h = sb::hash4(seed, 3, static_cast<std::uint64_t>(l));
    const auto ci = static_cast<std::int32_t>(h % static_cast<std::uint64_t>(ix));
    const auto cj = static_cast<std::int32_t>((h >> 24) % static_cast<std::uint64_t>(jx));
    const std::int32_t r = 2 + static_cast<std::int32_t>((h >> 48) % 10);
    for (std::int32_t j = cj - r; j <= cj + r; ++j) {
      for (std::int32_t i = ci - r; i <= ci + r; ++i) {
        if (i < 0 || j < 0 || i >= ix || j >= jx) continue;
        if ((i - ci) * (i - ci) + (j - cj) * (j - cj) <= r * r) {
          t.channel[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ix] = 1;
        }
      }
    }
  }
  return t;
}

}  // namespace rn::bench
