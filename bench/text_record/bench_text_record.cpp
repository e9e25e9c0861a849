// Rendering rate of 32-bit reals in the 16-character field, the work of every
// KML coordinate: renders reals of the magnitudes a document holds (longitudes,
// latitudes, streamflow) and of random bit patterns, through put_real_field
// alone and through whole text records into a buffered stream, next to the C
// library's "%.8E" as a yardstick measured in the same run.
//
//   bench_text_record [count]   (default 20 million)
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "text_record.hpp"

namespace {
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::vector<float> coordinate_like(std::size_t n) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<float> lon(-125.0f, -67.0f), lat(25.0f, 50.0f), q(0.0f, 5000.0f);
  std::vector<float> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = (i % 3 == 0) ? lon(rng) : (i % 3 == 1) ? lat(rng) : q(rng);
  return v;
}

std::vector<float> random_bits(std::size_t n) {
  std::mt19937 rng(7);
  std::vector<float> v(n);
  for (auto& f : v) {
    std::uint32_t b = rng();
    std::memcpy(&f, &b, sizeof f);
    if (!std::isfinite(f)) f = 1.0f;
  }
  return v;
}

void report(const char* what, std::size_t n, double s) {
  std::printf("%-44s %10.3f s %12.1f M reals/s\n", what, s, n / s / 1e6);
}
}  // namespace

int main(int argc, char** argv) {
  const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000000;
  const auto coords = coordinate_like(n);
  const auto anybits = random_bits(n / 4);
  char buf[32];
  unsigned sink = 0;

  auto t0 = Clock::now();
  for (float v : coords) sink += static_cast<unsigned char>(rn::put_real_field(buf, v)[-5]);
  const double field_s = seconds_since(t0);
  report("put_real_field, coordinate-like", n, field_s);

  t0 = Clock::now();
  for (float v : anybits) sink += static_cast<unsigned char>(rn::put_real_field(buf, v)[-5]);
  report("put_real_field, random bit patterns", anybits.size(), seconds_since(t0));

  std::FILE* null = std::fopen("/dev/null", "w");
  t0 = Clock::now();
  {
    rn::TextOut out(null, 1 << 20);
    for (std::size_t i = 0; i + 1 < n; i += 2) out.record(coords[i], ",", coords[i + 1]);
  }
  const double rec_s = seconds_since(t0);
  report("coordinate records into a buffered stream", n, rec_s);

  t0 = Clock::now();
  for (float v : coords) sink += static_cast<unsigned>(std::snprintf(buf, sizeof buf, "%.8E", v));
  const double printf_s = seconds_since(t0);
  report("yardstick: snprintf %.8E", n, printf_s);
  std::fclose(null);

  std::printf("ratio put_real_field / snprintf time: %.2f\n", field_s / printf_s);
  std::printf("target >= 10 M reals/s: %s (%.1f M/s in records)\n",
              n / rec_s >= 10e6 ? "met" : "NOT met", n / rec_s / 1e6);
  return sink == 42 ? 1 : 0;
}
