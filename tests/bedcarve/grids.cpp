#include "grids.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "program_end.hpp"
#include "terrain_conditioning.hpp"
#include "text_record.hpp"

namespace rn::bedcarve::test {

Outcome run_fill(const Grid& g, const FillFn& fill) {
  Outcome o;
  o.height = g.height;
  CaptureStdout capture(&o.out);
  try {
    fill(o.height, g.channel, g.ix, g.jx);
  } catch (const ProgramEnd& end) {
    o.status = end.status;
    o.stop = end.stop_text;
  }
  out().flush();
  return o;
}

FillCounts program_fill(std::span<float> height, std::span<const std::int32_t> channel,
                        std::int32_t ix, std::int32_t jx, const FillTuning& tuning) {
  Grid2D<float> h(static_cast<std::size_t>(ix), static_cast<std::size_t>(jx));
  std::copy(height.begin(), height.end(), h.values().begin());
  CellBits water(h.size());
  for (std::size_t c = 0; c < h.size(); ++c) {
    if (channel[c] == 1) water.set(c);
  }
  const FillCounts counts = fill_with_records(h, water, tuning);
  std::copy(h.values().begin(), h.values().end(), height.begin());
  return counts;
}

Grid grid_from_rows(const std::vector<std::vector<float>>& rows) {
  Grid g;
  g.jx = static_cast<std::int32_t>(rows.size());
  g.ix = g.jx ? static_cast<std::int32_t>(rows[0].size()) : 0;
  for (const auto& row : rows) g.height.insert(g.height.end(), row.begin(), row.end());
  g.channel.assign(g.height.size(), -999);
  g.kind = "rows";
  return g;
}

namespace {

float uniform(std::mt19937& rng, float lo, float hi) {
  return lo + (hi - lo) * static_cast<float>(rng() % 1000001u) / 1000000.0f;
}

}  // namespace

Grid random_grid(std::uint32_t seed) {
  std::mt19937 rng(seed);
  Grid g;
  const int shape = static_cast<int>(rng() % 10);
  const int kind = static_cast<int>(rng() % 7);
  if (shape == 0) {  // thin grids: every cell on the ring
    g.ix = 1 + static_cast<std::int32_t>(rng() % 2);
    g.jx = 1 + static_cast<std::int32_t>(rng() % 8);
    if (rng() % 2) std::swap(g.ix, g.jx);
  } else if (kind == 3 || (kind == 2 && shape < 4)) {  // room for more than 100 levels
    g.ix = 14 + static_cast<std::int32_t>(rng() % 24);
    g.jx = 14 + static_cast<std::int32_t>(rng() % 24);
  } else {
    g.ix = 3 + static_cast<std::int32_t>(rng() % 16);
    g.jx = 3 + static_cast<std::int32_t>(rng() % 16);
  }
  const std::size_t n = static_cast<std::size_t>(g.ix) * static_cast<std::size_t>(g.jx);
  g.height.resize(n);
  g.channel.assign(n, -999);
  const float cx = uniform(rng, 0.0f, static_cast<float>(g.ix));
  const float cy = uniform(rng, 0.0f, static_cast<float>(g.jx));
  for (std::int32_t j = 0; j < g.jx; ++j) {
    for (std::int32_t i = 0; i < g.ix; ++i) {
      float& h = g.height[static_cast<std::size_t>(i + j * g.ix)];
      const float dx = static_cast<float>(i) - cx, dy = static_cast<float>(j) - cy;
      const float r = std::sqrt(dx * dx + dy * dy);
      switch (kind) {
        case 0:  // few levels: plateaus and flat crossings
          h = static_cast<float>(rng() % 4);
          g.kind = "levels";
          break;
        case 1:  // noisy floats
          h = uniform(rng, 0.0f, 10.0f);
          g.kind = "noise";
          break;
        case 2:  // bowl with noise: nested pits, long fill sequences, the cap
          h = r * 2.0f + uniform(rng, 0.0f, 1.5f);
          g.kind = "bowl";
          break;
        case 3:  // bowl of distinct levels: hits the 100-fill cap
          h = r * 50.0f + static_cast<float>(i * 7 + j * 3) * 0.01f;
          g.kind = "deep bowl";
          break;
        case 4:  // terraced bowl: flats and plateaus at many heights
          h = std::floor(r + static_cast<float>(rng() % 3));
          g.kind = "terraces";
          break;
        case 5:  // ridges and troughs
          h = std::fabs(std::sin(static_cast<float>(i) * 0.9f) * 5.0f +
                        std::cos(static_cast<float>(j) * 1.3f) * 4.0f) +
              static_cast<float>(rng() % 3);
          g.kind = "ridges";
          break;
        default:  // signed heights around zero, both zeros
          h = static_cast<float>(static_cast<int>(rng() % 5) - 2);
          if (h == 0.0f && rng() % 2) h = -0.0f;
          g.kind = "zeros";
          break;
      }
    }
  }
  // Sprinkles: water cells, NaN heights, the stop values, infinities.
  const int extras = static_cast<int>(rng() % 24);
  for (int e = 0; e < extras; ++e) {
    const std::size_t c = rng() % n;
    switch (rng() % 40) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 10:
      case 11:
      case 12:
        g.channel[c] = 1;
        break;
      case 13:
      case 14:
      case 15:  // a water lake
        for (std::int32_t d = 0; d < 3; ++d) {
          g.channel[(c + static_cast<std::size_t>(d)) % n] = 1;
          g.channel[(c + static_cast<std::size_t>(d * g.ix)) % n] = 1;
        }
        break;
      case 4:
        if (rng() % 3 == 0) g.height[c] = std::numeric_limits<float>::quiet_NaN();
        break;
      case 5:
        g.height[c] = -999.0f;
        break;
      case 6:
        g.height[c] = 9999999.0f;
        break;
      case 7:
        g.height[c] = std::numeric_limits<float>::infinity();
        break;
      case 8:
        g.height[c] = -std::numeric_limits<float>::infinity();
        break;
      case 9:
        g.height[c] = 2e7f;
        break;
      case 16:
      case 17:
        g.height[c] = -0.0f;
        break;
      default:
        break;
    }
  }
  return g;
}

}  // namespace rn::bedcarve::test
