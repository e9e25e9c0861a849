#include "map_projection.hpp"

#include <cmath>
#include <string>

#include "program_end.hpp"
#include "text_record.hpp"

namespace rn {
namespace {

// Arithmetic of one precision: its constants and its maths functions.  The
// 32-bit set calls the float functions explicitly so that no step is ever
// evaluated in a wider type; the 64-bit set holds the 32-bit constants
// widened, so that both forms describe the same earth and the same grid.
template <typename Real>
struct Arith;

template <>
struct Arith<float> {
  static constexpr float deg = 0.017453292f;        // degrees to radians
  static constexpr float radius = 6371.2f;          // earth radius, km
  static constexpr float half_pi = 1.5707964f;
  static constexpr float pi = 3.1415927f;
  static constexpr float two_pi = 6.2831855f;
  static constexpr float cone_deg = 0.017453292f;   // degrees to radians in the cone factor
  static constexpr float cone_tolerance = 0.01f;    // tangent cone below this difference, degrees
  static float sin(float v) { return sinf(v); }
  static float cos(float v) { return cosf(v); }
  static float tan(float v) { return tanf(v); }
  static float log(float v) { return logf(v); }
  static float log10(float v) { return log10f(v); }
  static float pow(float b, float e) { return powf(b, e); }
  static float sqrt(float v) { return sqrtf(v); }
  static float abs(float v) { return fabsf(v); }
};

template <>
struct Arith<double> {
  static constexpr double deg = 0.017453293005625408;
  static constexpr double radius = 6371.2001953125;
  static constexpr double half_pi = 1.5707963705062866;
  static constexpr double pi = 3.1415927410125732;
  static constexpr double two_pi = 6.2831854820251465;
  static constexpr double cone_deg = 0.01745329238474369;
  static constexpr double cone_tolerance = 0.009999999776482582;
  static double sin(double v) { return ::sin(v); }
  static double cos(double v) { return ::cos(v); }
  static double tan(double v) { return ::tan(v); }
  static double log(double v) { return ::log(v); }
  static double log10(double v) { return ::log10(v); }
  static double pow(double b, double e) { return ::pow(b, e); }
  static double sqrt(double v) { return ::sqrt(v); }
  static double abs(double v) { return ::fabs(v); }
};

enum class Code { mercator, cylindrical, lambert, stereographic };

// The projection a code selects: its first two characters, case-sensitive.
// Any other code (a shorter text included) writes the record
// "Unrecognized project:  " joined with the two-character code, blank-padded
// as the code field holds it, and ends the program with the failure status.
Code projection_code(std::string_view proj) {
  const std::string_view code = proj.substr(0, 2);
  if (code == "ME") return Code::mercator;
  if (code == "CE") return Code::cylindrical;
  if (code == "LC") return Code::lambert;
  if (code == "ST") return Code::stereographic;
  std::string field(code);
  field.resize(2, ' ');
  out().record("Unrecognized project:  ", field);
  plain_stop(kFailure);
}

// Hemisphere of a true latitude as seen in 32 bits: -1 when the sign bit is
// set (a negative zero counts as southern), +1 otherwise.
template <typename Real>
std::int32_t hemisphere(Real truelat) {
  return std::signbit(static_cast<float>(truelat)) ? -1 : 1;
}

// Cone factor of the Lambert conformal projection.
// Contract: true latitudes in degrees, hemi = +1 or -1.  True latitudes
// closer than the tolerance give the tangent cone hemi*sin(truelat1), so
// that n is positive in both hemispheres (the projection formulas divide by
// n and raise to the power n); otherwise the secant cone through both
// latitudes, folded into the hemisphere's sense.  Degenerate latitudes
// (a pole, equal cosines) give a non-finite n, returned as it is.  O(1).
template <typename Real>
Real cone_factor(Real truelat1, Real truelat2, std::int32_t hemi) {
  using A = Arith<Real>;
  const Real h = static_cast<Real>(hemi);
  if (A::abs(truelat1 - truelat2) < A::cone_tolerance) {
    return h * A::sin(truelat1 * A::cone_deg);
  }
  const Real num = A::log10(A::cos(truelat1 * A::cone_deg)) -
                   A::log10(A::cos(truelat2 * A::cone_deg));
  const Real den =
      A::log10(A::tan((Real(45) - h * truelat1 / Real(2)) * A::cone_deg)) -
      A::log10(A::tan((Real(45) - h * truelat2 / Real(2)) * A::cone_deg));
  return num / den;
}

// Position (X, Y) of one point in the plane of a conic or azimuthal
// projection, in grid cells, before the known point is subtracted.
template <typename Real>
struct Plane {
  Real X;
  Real Y;
};

// The description's angles in radians and the hemisphere set-up of the
// conic and azimuthal projections, shared by both directions.  LC takes its
// hemisphere from truelat2 and computes its cone factor and t1; ST takes its
// hemisphere from truelat1.  Resolving the code ends the program when it is
// unknown.
template <typename Real>
struct Setup {
  using A = Arith<Real>;
  Code code;
  Real phi0, lambda0, lambda_s, phi1;
  std::int32_t hemi = 1;  // +1 north, -1 south
  Real h = 1;             // hemi as a real
  Real pole = 0;          // h * pi/2
  Real n = 0;             // LC cone factor
  Real t1 = 0;            // LC: tan((P - phi1) / 2)

  explicit Setup(const BasicProjectionSpec<Real>& p)
      : code(projection_code(p.code)),
        phi0(p.lat_orig * A::deg),
        lambda0(p.lon_orig * A::deg),
        lambda_s(p.stand_lon * A::deg),
        phi1(p.truelat1 * A::deg) {
    if (code != Code::lambert && code != Code::stereographic) return;
    hemi = hemisphere(code == Code::lambert ? p.truelat2 : p.truelat1);
    h = static_cast<Real>(hemi);
    pole = h * A::half_pi;
    if (code == Code::lambert) {
      n = cone_factor(p.truelat1, p.truelat2, hemi);
      t1 = A::tan((pole - phi1) * Real(0.5));
    }
  }
};

// Lambert conformal plane position of (phi, lambda) in radians, with the
// scale k = R sin(P - phi1) / (n dx).  The longitude difference to the
// standard meridian is wrapped once into [-pi, pi] so that 0..360 and
// -180..180 conventions agree.
template <typename Real>
Plane<Real> lambert_plane(Real phi, Real lambda, const Setup<Real>& g, Real k) {
  using A = Arith<Real>;
  Real delta = lambda - g.lambda_s;
  if (delta > A::pi) {
    delta = delta - A::two_pi;
  } else if (delta < -A::pi) {
    delta = delta + A::two_pi;
  }
  const Real T = -A::tan(g.n * delta);
  const Real rho = k * A::pow(A::tan((g.pole - phi) * Real(0.5)) / g.t1, g.n);
  const Real Y = -A::sqrt(rho * rho / (Real(1) + T * T));
  return {Y * T, Y};
}

// Polar stereographic plane position of (phi, lambda) in radians, with
// k = R / dx.  The longitude difference is used unwrapped: its
// trigonometric functions are periodic.
template <typename Real>
Plane<Real> stereographic_plane(Real phi, Real lambda, const Setup<Real>& g,
                                Real k) {
  using A = Arith<Real>;
  const Real T = -A::tan(lambda - g.lambda_s);
  const Real rho = k * A::tan((g.pole - phi) * Real(0.5)) *
                   (Real(1) + A::cos(g.pole - g.phi1));
  const Real m = A::sqrt(rho * rho / (Real(1) + T * T));
  const Real Y = A::cos(lambda - g.lambda_s) >= Real(0) ? -m : m;
  return {Y * T, Y};
}

// Forward conversion, shared by the 32-bit and the 64-bit form.
// Contract: lat/lon and the description in degrees (dx in km, CE in
// degrees); gives x and y in grid cells, the known point landing on
// (x_orig, y_orig) exactly in LC and ST (its plane position is subtracted
// from itself).  ME and CE do not wrap longitudes.  An unknown code ends the
// program.  Every operation is carried out in Real, in the order written.
// O(1).
template <typename Real>
GridXY<Real> forward(Real lat, Real lon, const BasicProjectionSpec<Real>& p) {
  using A = Arith<Real>;
  const Setup<Real> g(p);
  const Real dx = p.dx;
  const Real x_orig = p.x_orig;
  const Real y_orig = p.y_orig;
  GridXY<Real> r;
  Real& x = r.x;
  Real& y = r.y;
  const Real phi = lat * A::deg;
  const Real lambda = lon * A::deg;

  switch (g.code) {
    case Code::mercator: {
      const Real s = A::radius * A::cos(g.phi1);
      y = (s * A::log(A::tan((phi + A::half_pi) * Real(0.5))) +
           s * A::log(A::cos(g.phi0) / (Real(1) + A::sin(g.phi0)))) /
              dx +
          y_orig;
      x = (lambda - g.lambda0) * s / dx + x_orig;
      return r;
    }
    case Code::cylindrical:
      y = (lat - p.lat_orig) / dx + y_orig;
      x = (lon - p.lon_orig) / dx + x_orig;
      return r;
    case Code::lambert: {
      const Real k = A::radius * A::sin(g.pole - g.phi1) / (g.n * dx);
      const Plane<Real> q = lambert_plane(phi, lambda, g, k);
      const Plane<Real> q0 = lambert_plane(g.phi0, g.lambda0, g, k);
      y = (q.Y - q0.Y) * g.h + y_orig;
      x = (q.X - q0.X) + x_orig;
      return r;
    }
    case Code::stereographic: {
      const Real k = A::radius / dx;
      const Plane<Real> q = stereographic_plane(phi, lambda, g, k);
      const Plane<Real> q0 = stereographic_plane(g.phi0, g.lambda0, g, k);
      y = (q.Y - q0.Y) * g.h + y_orig;
      x = (q.X - q0.X) + x_orig;
      return r;
    }
  }
  return r;
}

}  // namespace

GridXY<float> latlon_to_grid(float lat, float lon, const ProjectionSpec& spec) {
  return forward<float>(lat, lon, spec);
}

GridXY<double> latlon_to_grid(double lat, double lon, const ProjectionSpec64& spec) {
  return forward<double>(lat, lon, spec);
}

float lambert_cone(float truelat1, float truelat2, std::int32_t hemi) {
  return cone_factor<float>(truelat1, truelat2, hemi);
}

double lambert_cone(double truelat1, double truelat2, std::int32_t hemi) {
  return cone_factor<double>(truelat1, truelat2, hemi);
}

// Inverse conversion in 32-bit arithmetic.
// Contract: grid (x, y) and the description as for the forward conversion;
// gives lat and lon in degrees, lon brought into [-180, 180] by at most one
// turn either way (CE included).  For a northern LC or ST grid it undoes the
// forward conversion to 32-bit precision when lon_orig and stand_lon share
// a longitude convention.  An unknown code ends the program.  O(1).
LatLon grid_to_latlon(float x, float y, const ProjectionSpec& p) {
  using A = Arith<float>;
  const Setup<float> g(p);
  const float dx = p.dx;
  const float x_orig = p.x_orig;
  const float y_orig = p.y_orig;
  LatLon r;
  float& lat = r.lat;
  float& lon = r.lon;
  // Radians to degrees: multiply by 180, then divide by pi.
  const auto degrees = [](float radians) { return radians * 180.0f / A::pi; };

  switch (g.code) {
    case Code::mercator: {
      const float xd = dx * (x - x_orig);
      const float yd = dx * (y - y_orig);
      const float s = A::radius * cosf(g.phi1);
      const float q = yd - s * logf(cosf(g.phi0) / (1.0f + sinf(g.phi0)));
      lat = degrees(2.0f * atanf(expf(q / (A::radius * cosf(g.phi1)))) -
                    A::half_pi);
      lon = degrees(xd / (A::radius * cosf(g.phi1)) + g.lambda0);
      break;
    }
    case Code::cylindrical:
      lat = p.lat_orig + dx * (y - y_orig);
      lon = p.lon_orig + dx * (x - x_orig);
      break;
    case Code::lambert: {
      const float t0 = tanf((g.pole - g.phi0) * 0.5f);
      const float a = -A::radius * cosf(g.phi1) / g.n;
      const float r0 = powf(t0 / g.t1, g.n) * a;
      const float Y0 = r0 * cosf(g.n * (g.lambda_s - g.lambda0));
      const float X0 = r0 * sinf(g.n * (g.lambda_s - g.lambda0));
      const float Y = g.h * dx * (y - y_orig) + Y0;
      const float X = dx * (x - x_orig) + X0;
      const float t =
          powf(sqrtf(X * X + Y * Y) / fabsf(a), 1.0f / g.n) * g.t1;
      lat = degrees(g.pole - 2.0f * atanf(t));
      lon = degrees(atan2f(X, -Y) * (1.0f / g.n) + g.lambda_s);
      break;
    }
    case Code::stereographic: {
      const float a = -A::radius * cosf(g.phi0) *
                      (1.0f + cosf(g.pole - g.phi1)) /
                      (1.0f + cosf(g.pole - g.phi0));
      const float Y0 = a * cosf(g.lambda_s - g.lambda0);
      const float X0 = a * sinf(g.lambda_s - g.lambda0);
      const float Y = g.h * dx * (y - y_orig) + Y0;
      const float X = dx * (x - x_orig) + X0;
      const float t = sqrtf(Y * Y + X * X) * 0.0001569563f /
                      (1.0f + cosf(g.pole - g.phi1));
      lat = degrees(g.pole - 2.0f * g.h * atanf(t));
      lon = degrees(atan2f(X, -Y) + g.lambda_s);
      break;
    }
  }
  if (lon > 180.0f) lon = lon - 360.0f;
  if (lon < -180.0f) lon = lon + 360.0f;
  return r;
}

}  // namespace rn
