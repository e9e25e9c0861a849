// Fractal (fBm) gradient noise over world coordinates in kilometres.
//
// One continuous field serves every grid of the basin: a coarse grid samples
// it with its long octaves only, a fine grid adds the shorter ones, so the
// fine terrain is the coarse terrain plus detail and the two river networks
// agree where they overlap.
#pragma once

#include <cstdint>

namespace sb {

/// Gradient (lattice) noise at (x, y) in lattice units, roughly in [-0.7, 0.7],
/// zero at every lattice point (and far away or at a position that is not a
/// number).  Integer hashing and IEEE arithmetic only.
double gradient_noise(double x, double y, std::uint32_t seed);

/// A sum of octaves of gradient noise: wavelength `longest_km` with
/// amplitude `amplitude`, then each octave half the wavelength and the
/// amplitude times 2^-hurst, down to the shortest wavelength asked for.
class FractalNoise {
 public:
  FractalNoise(std::uint64_t seed, double longest_km, double amplitude, double hurst);

  /// The field at (x_km, y_km), summing the octaves whose wavelength is at
  /// least `shortest_km`.  Cost: one noise evaluation per octave.
  double value(double x_km, double y_km, double shortest_km) const;

 private:
  static constexpr int kMaxOctaves = 24;
  int octaves_ = 0;
  double wavelength_[kMaxOctaves] = {};
  double inverse_[kMaxOctaves] = {};
  double amplitude_[kMaxOctaves] = {};
  double offset_x_[kMaxOctaves] = {};
  double offset_y_[kMaxOctaves] = {};
  std::uint32_t seed_[kMaxOctaves] = {};
};

}  // namespace sb
