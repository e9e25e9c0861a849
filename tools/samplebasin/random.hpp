// Seeded, platform-independent pseudo-random numbers: integer hashing only,
// so that every run with the same seed gives the same bits everywhere.
#pragma once

#include <cstdint>

namespace sb {

/// Finaliser of the splitmix64 generator: a bijective 64-bit mix.
inline std::uint64_t mix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

/// Hash of a seed and up to three integers.
inline std::uint64_t hash4(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0,
                           std::uint64_t c = 0) {
  std::uint64_t h = mix64(seed ^ 0x5851F42D4C957F2Dull);
  h = mix64(h ^ a);
  h = mix64(h ^ (b + 0x632BE59BD9B4E019ull));
  return mix64(h ^ (c + 0x8CB92BA72F3D8DD7ull));
}

/// A uniform value in [0, 1) from 53 bits of a hash.
inline double unit(std::uint64_t h) { return static_cast<double>(h >> 11) * 0x1.0p-53; }

/// Sequential generator (splitmix64).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    state_ += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return unit(next()); }
  double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
  /// An integer in [0, n), n > 0 (multiply-shift, no modulo bias worth noting).
  std::uint64_t below(std::uint64_t n) {
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(next()) * n) >> 64);
  }

 private:
  std::uint64_t state_;
};

}  // namespace sb
