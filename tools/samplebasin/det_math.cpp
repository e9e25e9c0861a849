#include "det_math.hpp"

#include <cmath>
#include <limits>

namespace sb {

namespace {
constexpr double kLn2 = 0.6931471805599453094;
constexpr double kLn2Hi = 0.6931471803691238164;  // ln 2 to 32 bits, so k * kLn2Hi is exact
constexpr double kLn2Lo = 1.9082149292705877e-10;
constexpr double kSqrtHalf = 0.70710678118654752440;
constexpr double kTwoPi = 6.283185307179586477;
}  // namespace

// Contract: x = m * 2^k with m in [sqrt(1/2), sqrt(2)); log m from the
// series 2 * atanh(s), s = (m - 1) / (m + 1), |s| <= 0.172, to s^25.
// Cost: about 30 operations.
double det_log(double x) {
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  if (!(x > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (x == std::numeric_limits<double>::infinity()) return x;
  int k = 0;
  double m = std::frexp(x, &k);  // exact
  if (m < kSqrtHalf) {
    m *= 2.0;
    --k;
  }
  const double s = (m - 1.0) / (m + 1.0);
  const double s2 = s * s;
  double sum = 1.0 / 25.0;
  for (int n = 23; n >= 1; n -= 2) sum = 1.0 / n + s2 * sum;
  return k * kLn2 + 2.0 * s * sum;
}

// Contract: x = k ln 2 + r with |r| <= 0.35 (ln 2 split in two so that the
// reduction loses nothing); e^r from its Taylor series to r^20; the result
// scaled by 2^k exactly.  Cost: about 30 operations.
double det_exp(double x) {
  if (x != x) return x;
  if (x > 709.8) return std::numeric_limits<double>::infinity();
  if (x < -745.2) return 0.0;
  const double k = std::floor(x / kLn2 + 0.5);
  const double r = (x - k * kLn2Hi) - k * kLn2Lo;
  double sum = 1.0;
  for (int n = 20; n >= 1; --n) sum = 1.0 + r * sum / n;
  return std::ldexp(sum, static_cast<int>(k));
}

double det_pow(double x, double e) { return det_exp(e * det_log(x)); }

double det_log2(double x) { return det_log(x) / kLn2; }

// Contract: the angle is brought to the nearest quarter turn q and a rest
// of at most an eighth of a turn (both exact), the rest's sine and cosine
// come from Taylor series to the 17th and 18th power, and the quarter
// turns swap and negate them.  Cost: about 40 operations.
void det_sincos_turns(double turns, double& sine, double& cosine) {
  if (!(std::fabs(turns) < 1e15)) {
    sine = cosine = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  const double t = turns - std::floor(turns);  // [0, 1), exact
  const double q = std::floor(t * 4.0 + 0.5);  // 0 .. 4
  const double x = (t - q * 0.25) * kTwoPi;    // [-pi/4, pi/4]
  const double x2 = x * x;
  double s = 1.0, c = 1.0;
  for (int n = 17; n >= 3; n -= 2) s = 1.0 - x2 * s / (n * (n - 1));
  for (int n = 18; n >= 2; n -= 2) c = 1.0 - x2 * c / (n * (n - 1));
  s *= x;
  switch (static_cast<int>(q) & 3) {
    case 0: sine = s; cosine = c; break;
    case 1: sine = c; cosine = -s; break;
    case 2: sine = -s; cosine = -c; break;
    default: sine = -c; cosine = s; break;
  }
}

}  // namespace sb
