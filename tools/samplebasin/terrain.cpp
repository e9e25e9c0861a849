#include "terrain.hpp"

#include <algorithm>
#include <cmath>

#include "det_math.hpp"
#include "random.hpp"

namespace sb {

namespace {

FractalNoise make_relief(const Preset& p, std::uint64_t seed) {
  // The longest octave spans about half the parent domain; its amplitude
  // follows the same power law at every scale, so every preset has the same
  // roughness at the same wavelength.
  const double extent = std::max(p.parent_nx, p.parent_ny) * static_cast<double>(p.parent_dx_km);
  const double longest = 0.5 * extent;
  const double amplitude = p.relief_m_at_1000km * det_pow(longest / 1000.0, p.hurst);
  return FractalNoise(hash4(seed, 0x52454C46u), longest, amplitude, p.hurst);
}

}  // namespace

TerrainModel::TerrainModel(const Preset& p, std::uint64_t seed) : relief_(make_relief(p, seed)) {
  // The coast runs across the domain at a seeded angle, the sea on the side
  // the normal points away from, about `sea_share` of the domain.
  Rng rng(hash4(seed, 0x434F4153u));
  det_sincos_turns(rng.uniform(), normal_y_, normal_x_);
  const double w = (p.parent_nx - 1) * static_cast<double>(p.parent_dx_km);
  const double h = (p.parent_ny - 1) * static_cast<double>(p.parent_dx_km);
  double lo = 0.0, hi = 0.0;
  const double corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
  for (int c = 0; c < 4; ++c) {
    const double s = corners[c][0] * normal_x_ + corners[c][1] * normal_y_;
    lo = c == 0 ? s : std::min(lo, s);
    hi = c == 0 ? s : std::max(hi, s);
  }
  coast_ = lo + p.sea_share * (hi - lo);
  slope_ = p.coast_slope_m_per_km;
}

double TerrainModel::height(double x_km, double y_km, double shortest_km) const {
  const double inland = x_km * normal_x_ + y_km * normal_y_ - coast_;
  return slope_ * inland + relief_.value(x_km, y_km, shortest_km);
}

Grid<float> sample_terrain(const TerrainModel& model, int nx, int ny, double x0_km, double y0_km,
                           double cell_km) {
  Grid<float> g(nx, ny, 0.0f);
  const double shortest = 2.0 * cell_km;
  for (int j = 0; j < ny; ++j) {
    const double y = y0_km + j * cell_km;
    for (int i = 0; i < nx; ++i) {
      g.at(i, j) = static_cast<float>(model.height(x0_km + i * cell_km, y, shortest));
    }
  }
  return g;
}

}  // namespace sb
