#include "terrain_gen.hpp"

#include <cmath>

namespace rn::bench {
namespace {

std::uint64_t mix(std::uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

// Lattice value in [-1, 1].
float lattice(std::int64_t x, std::int64_t y, std::uint64_t seed) {
  const std::uint64_t h = mix(static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ULL ^
                              static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4FULL ^ seed);
  return static_cast<float>(h >> 40) / static_cast<float>(1 << 23) - 1.0f;
}

// Smooth value noise at (x, y) in lattice units.
float value_noise(float x, float y, std::uint64_t seed) {
  const float fx = std::floor(x), fy = std::floor(y);
  const auto x0 = static_cast<std::int64_t>(fx), y0 = static_cast<std::int64_t>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3.0f - 2.0f * tx);
  ty = ty * ty * (3.0f - 2.0f * ty);
  const float a = lattice(x0, y0, seed), b = lattice(x0 + 1, y0, seed);
  const float c = lattice(x0, y0 + 1, seed), d = lattice(x0 + 1, y0 + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

}  // namespace

Terrain make_terrain(std::int32_t ix, std::int32_t jx, std::uint64_t seed) {
  Terrain t;
  t.ix = ix;
  t.jx = jx;
  const std::size_t n = static_cast<std::size_t>(ix) * static_cast<std::size_t>(jx);
  t.height.resize(n);
  t.channel.assign(n, -999);
  // Wide closed basins, about one per 600 x 600 cells.
  struct Bowl {
    float x, y, r, depth;
  };
  std::vector<Bowl> bowls;
  const int nbowls = 1 + static_cast<int>(static_cast<std::int64_t>(ix) * jx / 360000);
  for (int b = 0; b < nbowls; ++b) {
    const std::uint64_t h = mix(seed ^ (0xB0B0ULL + static_cast<std::uint64_t>(b)));
    bowls.push_back({static_cast<float>(h % static_cast<std::uint64_t>(ix)),
                     static_cast<float>((h >> 20) % static_cast<std::uint64_t>(jx)),
                     40.0f + static_cast<float>((h >> 40) % 120), 30.0f + static_cast<float>((h >> 50) % 60)});
  }
  for (std::int32_t j = 0; j < jx; ++j) {
    for (std::int32_t i = 0; i < ix; ++i) {
      const float x = static_cast<float>(i), y = static_cast<float>(j);
      float h = 0.0f, amp = 600.0f, wave = 1024.0f;
      for (int o = 0; o < 9; ++o) {
        h += amp * value_noise(x / wave, y / wave, seed + static_cast<std::uint64_t>(o));
        amp *= 0.5f;
        wave *= 0.5f;
      }
      h += 250.0f + 0.02f * y;  // land rises away from the sea at j = 1
      for (const Bowl& b : bowls) {
        const float dx = x - b.x, dy = y - b.y;
        const float q = (dx * dx + dy * dy) / (b.r * b.r);
        if (q < 1.0f) h -= b.depth * (1.0f - q) * (1.0f - q);
      }
      // Survey noise of a few decimetres: many small pits.
      h += 0.4f * lattice(i, j, seed ^ 0x5EEDULL);
      const std::size_t c = static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ix;
      t.height[c] = h;
      if (h < 0.0f) t.channel[c] = 1;  // sea
    }
  }
  // Water lakes: about one per 250 x 250 cells, a disc of water cells.
  const int nlakes = static_cast<int>(static_cast<std::int64_t>(ix) * jx / 62500);
  for (int l = 0; l < nlakes; ++l) {
    const std::uint64_t h = mix(seed ^ (0x1A4EULL + static_cast<std::uint64_t>(l)));
    const std::int32_t ci = static_cast<std::int32_t>(h % static_cast<std::uint64_t>(ix));
    const std::int32_t cj = static_cast<std::int32_t>((h >> 24) % static_cast<std::uint64_t>(jx));
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
