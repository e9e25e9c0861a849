#include "noise.hpp"

#include <cmath>
#include <cstdint>

#include "det_math.hpp"
#include "random.hpp"

namespace sb {

namespace {

inline std::uint32_t mix32(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

constexpr double kS = 0.70710678118654752;
constexpr double kGradX[8] = {1.0, -1.0, 0.0, 0.0, kS, -kS, kS, -kS};
constexpr double kGradY[8] = {0.0, 0.0, 1.0, -1.0, kS, kS, -kS, -kS};

inline double corner(std::int64_t gx, std::int64_t gy, std::uint32_t seed, double dx, double dy) {
  const std::uint32_t h = mix32(static_cast<std::uint32_t>(gx) * 0x8DA6B343u ^
                                static_cast<std::uint32_t>(gy) * 0xD8163841u ^ seed) >> 29;
  return kGradX[h] * dx + kGradY[h] * dy;
}

inline double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

}  // namespace

double gradient_noise(double x, double y, std::uint32_t seed) {
  constexpr double kFar = 1e15;  // beyond this (or not a number) the field is flat
  if (!(std::fabs(x) < kFar && std::fabs(y) < kFar)) return 0.0;
  // Floor by truncation (the library floor is a call on baseline x86-64).
  auto ix = static_cast<std::int64_t>(x);
  auto iy = static_cast<std::int64_t>(y);
  if (static_cast<double>(ix) > x) --ix;
  if (static_cast<double>(iy) > y) --iy;
  const double tx = x - static_cast<double>(ix);
  const double ty = y - static_cast<double>(iy);
  const double n00 = corner(ix, iy, seed, tx, ty);
  const double n10 = corner(ix + 1, iy, seed, tx - 1.0, ty);
  const double n01 = corner(ix, iy + 1, seed, tx, ty - 1.0);
  const double n11 = corner(ix + 1, iy + 1, seed, tx - 1.0, ty - 1.0);
  const double u = fade(tx);
  const double v = fade(ty);
  const double a = n00 + u * (n10 - n00);
  const double b = n01 + u * (n11 - n01);
  return a + v * (b - a);
}

FractalNoise::FractalNoise(std::uint64_t seed, double longest_km, double amplitude, double hurst) {
  const double gain = det_pow(2.0, -hurst);
  double wavelength = longest_km;
  double amp = amplitude;
  for (int o = 0; o < kMaxOctaves; ++o) {
    wavelength_[o] = wavelength;
    inverse_[o] = 1.0 / wavelength;
    amplitude_[o] = amp;
    const std::uint64_t h = hash4(seed, 0x6F63u, static_cast<std::uint64_t>(o));
    seed_[o] = static_cast<std::uint32_t>(h);
    // Shift every octave by a fraction of its lattice so that lattice points
    // of different octaves do not line up at the origin.
    offset_x_[o] = 1000.0 * unit(hash4(h, 1));
    offset_y_[o] = 1000.0 * unit(hash4(h, 2));
    octaves_ = o + 1;
    wavelength *= 0.5;
    amp *= gain;
  }
}

double FractalNoise::value(double x_km, double y_km, double shortest_km) const {
  double sum = 0.0;
  for (int o = 0; o < octaves_ && wavelength_[o] >= shortest_km; ++o) {
    const double inv = inverse_[o];
    sum += amplitude_[o] * gradient_noise(x_km * inv + offset_x_[o], y_km * inv + offset_y_[o], seed_[o]);
  }
  return sum;
}

}  // namespace sb
