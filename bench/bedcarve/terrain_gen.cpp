#include "terrain_gen.hpp"

#include <cmath>
#include <cstddef>

#include "noise.hpp"
#include "random.hpp"

namespace rn::bench {
namespace {

constexpr double kCellKm = 0.1;

std::size_t at(std::int32_t i, std::int32_t j, std::int32_t ix) {
  return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(ix);
}

/// A value in [-0.5, 0.5) for cell (i, j) of noise stream `stream`.
float cell_noise(std::uint64_t seed, std::uint64_t stream, std::int32_t i, std::int32_t j) {
  return static_cast<float>(sb::unit(sb::hash4(seed, stream, static_cast<std::uint64_t>(i),
                                               static_cast<std::uint64_t>(j))) -
                            0.5);
}

/// Discs of water cells, about one per `area` cells, of radius 2 to 11.
void add_water_lakes(Terrain& t, std::uint64_t seed, std::int64_t area) {
  const int nlakes = static_cast<int>(static_cast<std::int64_t>(t.ix) * t.jx / area);
  for (int l = 0; l < nlakes; ++l) {
    const std::uint64_t h = sb::hash4(seed, 3, static_cast<std::uint64_t>(l));
    const auto ci = static_cast<std::int32_t>(h % static_cast<std::uint64_t>(t.ix));
    const auto cj = static_cast<std::int32_t>((h >> 24) % static_cast<std::uint64_t>(t.jx));
    const std::int32_t r = 2 + static_cast<std::int32_t>((h >> 48) % 10);
    for (std::int32_t j = cj - r; j <= cj + r; ++j) {
      for (std::int32_t i = ci - r; i <= ci + r; ++i) {
        if (i < 0 || j < 0 || i >= t.ix || j >= t.jx) continue;
        if ((i - ci) * (i - ci) + (j - cj) * (j - cj) <= r * r) t.channel[at(i, j, t.ix)] = 1;
      }
    }
  }
}

/// Wide closed basins, about one per `area` cells: a bowl of radius 40 to
/// 159 cells, 30 to 89 m deep.
struct Bowl {
  float x, y, r, depth;
};

std::vector<Bowl> bowls(std::uint64_t seed, std::int32_t ix, std::int32_t jx, std::int64_t area) {
  std::vector<Bowl> v;
  const int n = 1 + static_cast<int>(static_cast<std::int64_t>(ix) * jx / area);
  for (int b = 0; b < n; ++b) {
    const std::uint64_t h = sb::hash4(seed, 1, static_cast<std::uint64_t>(b));
    v.push_back({static_cast<float>(h % static_cast<std::uint64_t>(ix)),
                 static_cast<float>((h >> 20) % static_cast<std::uint64_t>(jx)),
                 40.0f + static_cast<float>((h >> 40) % 120),
                 30.0f + static_cast<float>((h >> 50) % 60)});
  }
  return v;
}

/// How deep the bowls lie under cell (i, j).
float bowl_depth(const std::vector<Bowl>& v, std::int32_t i, std::int32_t j) {
  const float x = static_cast<float>(i), y = static_cast<float>(j);
  float d = 0.0f;
  for (const Bowl& b : v) {
    const float dx = x - b.x, dy = y - b.y;
    const float q = (dx * dx + dy * dy) / (b.r * b.r);
    if (q < 1.0f) d += b.depth * (1.0f - q) * (1.0f - q);
  }
  return d;
}

void smooth_terrain(Terrain& t, std::uint64_t seed) {
  // Relief: octaves from 100 km down to two cells, each half the one before.
  const sb::FractalNoise relief(seed, 100.0, 600.0, 1.0);
  const std::vector<Bowl> basins = bowls(seed, t.ix, t.jx, 360000);
  for (std::int32_t j = 0; j < t.jx; ++j) {
    for (std::int32_t i = 0; i < t.ix; ++i) {
      float h = static_cast<float>(relief.value(i * kCellKm, j * kCellKm, 2 * kCellKm));
      h += 250.0f + 0.02f * static_cast<float>(j);  // land rises away from the sea at j = 1
      h -= bowl_depth(basins, i, j);
      h += 0.8f * cell_noise(seed, 2, i, j);  // survey noise: many small pits
      const std::size_t c = at(i, j, t.ix);
      t.height[c] = h;
      if (h < 0.0f) t.channel[c] = 1;  // sea
    }
  }
  add_water_lakes(t, seed, 62500);
}

void rough_terrain(Terrain& t, std::uint64_t seed) {
  // Relief from 50 km down to one cell, each octave 0.7 of the one above.
  const sb::FractalNoise relief(seed, 50.0, 400.0, 0.5);
  for (std::int32_t j = 0; j < t.jx; ++j) {
    for (std::int32_t i = 0; i < t.ix; ++i) {
      float h = static_cast<float>(relief.value(i * kCellKm, j * kCellKm, kCellKm));
      h += 120.0f + 0.01f * static_cast<float>(j);
      // Scattered sinks, one cell in sixty: a few metres deep.
      const std::uint64_t r = sb::hash4(seed, 4, static_cast<std::uint64_t>(i),
                                        static_cast<std::uint64_t>(j));
      if (r % 60 == 0) h -= 1.0f + static_cast<float>((r >> 8) % 40) * 0.1f;
      const std::size_t c = at(i, j, t.ix);
      t.height[c] = h;
      if (h < 0.0f) t.channel[c] = 1;  // sea
    }
  }
  add_water_lakes(t, seed, 250000);
}

void real_terrain(Terrain& t, std::uint64_t seed) {
  // One tile, mirrored: the odd tiles along each axis are flipped, so the
  // grid is continuous across tile edges (and the tiles' low edges meet in
  // closed basins, as when a measured tile is mirrored to a larger grid).
  constexpr std::int32_t kTileI = 715, kTileJ = 844;
  // Relief from 40 km down to one cell, each octave 0.54 of the one above.
  const sb::FractalNoise relief(seed, 40.0, 400.0, 0.9);
  const sb::FractalNoise valleys(seed + 7, 8.0, 1.0, 0.9);
  std::vector<float> tile(static_cast<std::size_t>(kTileI) * kTileJ);
  for (std::int32_t j = 0; j < kTileJ; ++j) {
    for (std::int32_t i = 0; i < kTileI; ++i) {
      const double x = i * kCellKm, y = j * kCellKm;
      double h = relief.value(x, y, kCellKm);
      // Broad valley floors: the relief is flattened where a second field
      // is near zero, leaving nearly level ground with small humps.
      const double v = std::fabs(valleys.value(x, y, 4 * kCellKm));
      if (v < 0.4) h = h * (0.15 + 2.125 * v);
      h += 300.0 + 0.3 * static_cast<double>(cell_noise(seed, 5, i, j));
      // Stored to 0.1 m, as many elevation models are.
      tile[at(i, j, kTileI)] = static_cast<float>(std::floor(h * 10.0 + 0.5) / 10.0);
    }
  }
  for (std::int32_t j = 0; j < t.jx; ++j) {
    const std::int32_t tj = (j / kTileJ) % 2 ? kTileJ - 1 - j % kTileJ : j % kTileJ;
    for (std::int32_t i = 0; i < t.ix; ++i) {
      const std::int32_t ti = (i / kTileI) % 2 ? kTileI - 1 - i % kTileI : i % kTileI;
      t.height[at(i, j, t.ix)] = tile[at(ti, tj, kTileI)];
    }
  }
  add_water_lakes(t, seed, 1000000);
}

}  // namespace

std::optional<TerrainKind> terrain_kind(std::string_view name) {
  if (name == "smooth") return TerrainKind::smooth;
  if (name == "rough") return TerrainKind::rough;
  if (name == "real") return TerrainKind::real;
  return std::nullopt;
}

const char* kind_name(TerrainKind kind) {
  switch (kind) {
    case TerrainKind::smooth:
      return "smooth";
    case TerrainKind::rough:
      return "rough";
    case TerrainKind::real:
      return "real";
  }
  return "?";
}

Terrain make_terrain(TerrainKind kind, std::int32_t ix, std::int32_t jx, std::uint64_t seed) {
  Terrain t;
  t.ix = ix;
  t.jx = jx;
  const std::size_t n = static_cast<std::size_t>(ix) * static_cast<std::size_t>(jx);
  t.height.resize(n);
  t.channel.assign(n, -999);
  switch (kind) {
    case TerrainKind::smooth:
      smooth_terrain(t, seed);
      break;
    case TerrainKind::rough:
      rough_terrain(t, seed);
      break;
    case TerrainKind::real:
      real_terrain(t, seed);
      break;
  }
  return t;
}

}  // namespace rn::bench
