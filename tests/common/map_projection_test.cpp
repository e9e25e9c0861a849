#include "map_projection.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "nc_test_support.hpp"
#include "test_support.hpp"

namespace {
using rn::test::bits_of;
using rn::test::outcome_of;

// One projection description, 32-bit.
using Grid = rn::ProjectionSpec;

struct XY {
  float x, y;
};
struct LatLon {
  float lat, lon;
};

XY to_xy(const Grid& g, float lat, float lon) {
  const rn::GridXY<float> p = rn::latlon_to_grid(lat, lon, g);
  return {p.x, p.y};
}

LatLon to_ll(const Grid& g, float x, float y) {
  const rn::LatLon p = rn::grid_to_latlon(x, y, g);
  return {p.lat, p.lon};
}

// The 64-bit forward conversion of a description widened from 32 bits, or
// given in 64 bits.
rn::GridXY<double> to_xy8(const rn::ProjectionSpec64& g, double lat, double lon) {
  return rn::latlon_to_grid(lat, lon, g);
}
rn::ProjectionSpec64 widened(const Grid& g) {
  return {g.code, g.dx, g.lat_orig, g.lon_orig, g.x_orig, g.y_orig, g.stand_lon, g.truelat1,
          g.truelat2};
}

// The fixed Lambert grid of the point extractor (tangent cone at 38.5).
constexpr Grid kSiteGrid = rn::kSiteLambertGrid;
constexpr Grid kLambertSecant{"LC", 12.0f, 35.0f, -100.0f, 4.5f, 7.25f,
                              -97.0f, 30.0f, 60.0f};
constexpr Grid kMercator{"ME", 12.0f, 5.0f, 15.0f, 1.0f, 1.0f, 0.0f, 22.5f, 0.0f};
constexpr Grid kStereo{"ST", 25.0f, 60.0f, -60.0f, 1.0f, 1.0f, -45.0f, 60.0f, 0.0f};
constexpr Grid kCylindrical{"CE", 0.5f, -10.0f, 100.0f, 2.0f, 3.0f, 0.0f, 0.0f, 0.0f};
constexpr Grid kLambertSouth{"LC", 12.0f, -40.0f, 140.0f, 1.0f, 1.0f, 145.0f,
                             -30.0f, -60.0f};
constexpr Grid kStereoSouth{"ST", 25.0f, -60.0f, 140.0f, 1.0f, 1.0f, 145.0f,
                            -60.0f, 0.0f};

TEST(Projection, KnownPointLandsOnItsGridPoint) {
  // LC, ST and CE subtract the known point's plane position from itself.
  for (const Grid& g : {kSiteGrid, kLambertSecant, kStereo, kCylindrical,
                        kLambertSouth, kStereoSouth}) {
    const XY p = to_xy(g, g.lat_orig, g.lon_orig);
    EXPECT_EQ(bits_of(p.x), bits_of(g.x_orig)) << g.code << " " << g.truelat1;
    EXPECT_EQ(bits_of(p.y), bits_of(g.y_orig)) << g.code << " " << g.truelat1;
    const auto [x8, y8] = to_xy8(widened(g), g.lat_orig, g.lon_orig);
    EXPECT_EQ(x8, double(g.x_orig)) << g.code;
    EXPECT_EQ(y8, double(g.y_orig)) << g.code;
  }
  // Mercator forms the known point's y from two logarithms that cancel
  // only to 32-bit rounding.
  const XY m = to_xy(kMercator, kMercator.lat_orig, kMercator.lon_orig);
  EXPECT_EQ(m.x, 1.0f);
  EXPECT_NEAR(m.y, 1.0f, 2e-4f);
}

TEST(Projection, GoldenBitsOf32BitArithmetic) {
  // Computed by a separate straight-line transcription of the formulas in
  // 32-bit arithmetic (tanf, powf, log10f, ... at run time).
  const XY lc = to_xy(kSiteGrid, 40.0f, -105.0f);
  EXPECT_EQ(bits_of(lc.x), "442BD7E6");
  EXPECT_EQ(bits_of(lc.y), "4414985C");
  const XY me = to_xy(kMercator, 10.0f, 20.0f);
  EXPECT_EQ(bits_of(me.x), "422F3924");
  EXPECT_EQ(bits_of(me.y), "4230C1F5");
  const XY st = to_xy(kStereo, 70.0f, -40.0f);
  EXPECT_EQ(bits_of(st.x), "422526EE");
  EXPECT_EQ(bits_of(st.y), "42223192");
  float cone = rn::lambert_cone(38.5f, 38.5f, 1);
  EXPECT_EQ(bits_of(cone), "3F1F5D1F");  // sin(38.5 deg), about 0.62251
  cone = rn::lambert_cone(30.0f, 60.0f, 1);
  EXPECT_EQ(bits_of(cone), "3F372F61");
  // The 64-bit form follows the same steps; it agrees to 32-bit precision.
  const auto [x8, y8] =
      to_xy8({"LC", 3.0, 21.13812, 237.2805, 1.0, 1.0, 262.5, 38.5, 38.5}, 40.0, -105.0);
  EXPECT_NEAR(x8, lc.x, 1e-3);
  EXPECT_NEAR(y8, lc.y, 1e-3);
}

TEST(ConeFactor, TangentBelowOneHundredthDegreeComparedIn32Bits) {
  float tangent = 0, cone = 0;
  tangent = rn::lambert_cone(38.5f, 38.5f, 1);
  cone = rn::lambert_cone(38.5f, 38.5099f, 1);
  EXPECT_EQ(bits_of(cone), bits_of(tangent));
  // 38.51f - 38.5f is 0.00999832 in 32 bits: still the tangent rule.
  cone = rn::lambert_cone(38.5f, 38.51f, 1);
  EXPECT_EQ(bits_of(cone), bits_of(tangent));
  // 30.01f - 30.0f is 0.0100002: the secant rule, a different cone.
  float tangent30 = 0;
  tangent30 = rn::lambert_cone(30.0f, 30.0f, 1);
  cone = rn::lambert_cone(30.0f, 30.01f, 1);
  EXPECT_NE(bits_of(cone), bits_of(tangent30));
  EXPECT_NEAR(cone, tangent30, 1e-3f);
  // In 64 bits, 38.51 - 38.5 is above the widened tolerance: secant.
  double tangent8 = 0, cone8 = 0;
  tangent8 = rn::lambert_cone(38.5, 38.5, 1);
  cone8 = rn::lambert_cone(38.5, 38.51, 1);
  EXPECT_NE(cone8, tangent8);
  EXPECT_NEAR(tangent8, 0.62251, 1e-5);
}

TEST(ConeFactor, SouthernTangentConeIsPositive) {
  float north = 0, south = 0;
  north = rn::lambert_cone(38.5f, 38.5f, 1);
  south = rn::lambert_cone(-38.5f, -38.5f, -1);
  EXPECT_EQ(bits_of(south), bits_of(north));
  double south8 = 0;
  south8 = rn::lambert_cone(-38.5, -38.5, -1);
  EXPECT_GT(south8, 0.6);
  // A southern tangent grid projects and inverts like any other.
  const Grid g{"LC", 12.0f, -40.0f, 140.0f, 1.0f, 1.0f, 145.0f, -38.5f, -38.5f};
  const XY p = to_xy(g, -35.0f, 150.0f);
  ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  const LatLon back = to_ll(g, p.x, p.y);
  EXPECT_NEAR(back.lat, -35.0f, 1e-4f);
  EXPECT_NEAR(back.lon, 150.0f, 1e-4f);
}

TEST(Projection, LambertWrapsLongitudeAroundStandardMeridian) {
  // -97.5 lies on the standard meridian 262.5: its difference of -360
  // degrees becomes 0 up to 32-bit rounding of the radians.
  const XY a = to_xy(kSiteGrid, 40.0f, -97.5f);
  const XY b = to_xy(kSiteGrid, 40.0f, 262.5f);
  EXPECT_NEAR(a.x, b.x, 2e-3f);
  EXPECT_EQ(bits_of(a.y), bits_of(b.y));
  const XY c = to_xy(kSiteGrid, 40.0f, -105.0f);
  const XY d = to_xy(kSiteGrid, 40.0f, 255.0f);
  EXPECT_NEAR(c.x, d.x, 2e-3f);
  EXPECT_NEAR(c.y, d.y, 2e-3f);
}

TEST(Projection, MercatorAndCylindricalDoNotReconcileLongitudes) {
  const Grid ce{"CE", 0.5f, 40.0f, 237.28f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_NEAR(to_xy(ce, 40.0f, -122.72f).x - to_xy(ce, 40.0f, 237.28f).x,
              -720.0f, 1e-2f);
  EXPECT_EQ(to_xy(ce, 41.0f, 237.28f).y, 3.0f);
  const Grid me{"ME", 10.0f, 40.0f, 237.28f, 1.0f, 1.0f, 0.0f, 30.0f, 0.0f};
  const float cells_per_turn =
      6.2831855f * 6371.2f * std::cos(30.0f * 0.017453292f) / 10.0f;
  EXPECT_NEAR(to_xy(me, 40.0f, 237.28f).x - to_xy(me, 40.0f, -122.72f).x,
              cells_per_turn, 1.0f);
}

TEST(Projection, InverseUndoesForwardOnNorthernAndSouthernGrids) {
  struct Case {
    Grid g;
    float lat, lon;
  };
  const Case cases[] = {
      {kSiteGrid, 40.0f, -105.0f},      {kSiteGrid, 25.5f, -80.25f},
      {kLambertSecant, 47.0f, -120.0f}, {kStereo, 70.0f, -40.0f},
      {kStereo, 55.0f, -150.0f},        {kMercator, 10.0f, 20.0f},
      {kCylindrical, 12.5f, 110.25f},   {kLambertSouth, -35.0f, 150.0f},
      {kStereoSouth, -70.0f, 150.0f},
  };
  for (const Case& c : cases) {
    const XY p = to_xy(c.g, c.lat, c.lon);
    const LatLon back = to_ll(c.g, p.x, p.y);
    EXPECT_NEAR(back.lat, c.lat, 1e-4f) << c.g.code << " " << c.lat;
    EXPECT_NEAR(back.lon, c.lon, 1e-4f) << c.g.code << " " << c.lon;
  }
  // The known grid point inverts to the known point (longitude wrapped).
  const LatLon origin = to_ll(kSiteGrid, 1.0f, 1.0f);
  EXPECT_NEAR(origin.lat, 21.13812f, 1e-4f);
  EXPECT_NEAR(origin.lon, 237.2805f - 360.0f, 1e-4f);
}

TEST(Projection, InverseWrapsLongitudeOnceIntoHalfTurns) {
  const Grid east{"CE", 1.0f, 0.0f, 180.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_EQ(to_ll(east, 11.0f, 1.0f).lon, -170.0f);  // 190
  EXPECT_EQ(to_ll(east, 1.0f, 1.0f).lon, 180.0f);    // 180 stays
  const Grid west{"CE", 1.0f, 0.0f, -180.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_EQ(to_ll(west, -9.0f, 1.0f).lon, 170.0f);   // -190
  EXPECT_EQ(to_ll(west, 1.0f, 1.0f).lon, -180.0f);   // -180 stays
  // At most one turn: 600 becomes 240.
  const Grid far{"CE", 1.0f, 0.0f, 600.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_EQ(to_ll(far, 1.0f, 1.0f).lon, 240.0f);
  // The forward conversion never wraps CE.
  EXPECT_EQ(to_xy(east, 0.0f, 190.0f).x, 11.0f);
}

TEST(Projection, NegativeZeroTrueLatitudeIsSouthern) {
  const Grid minus_zero{"ST", 25.0f, -60.0f, 140.0f, 1.0f, 1.0f, 145.0f, -0.0f, 0.0f};
  const Grid minus_tiny{"ST", 25.0f, -60.0f, 140.0f, 1.0f, 1.0f, 145.0f, -1e-30f, 0.0f};
  const Grid plus_zero{"ST", 25.0f, -60.0f, 140.0f, 1.0f, 1.0f, 145.0f, 0.0f, 0.0f};
  const XY a = to_xy(minus_zero, -70.0f, 150.0f);
  const XY b = to_xy(minus_tiny, -70.0f, 150.0f);
  const XY c = to_xy(plus_zero, -70.0f, 150.0f);
  EXPECT_EQ(bits_of(a.y), bits_of(b.y));
  EXPECT_NE(bits_of(a.y), bits_of(c.y));
  // The 64-bit form takes the sign after conversion to 32 bits.
  const double y8m =
      to_xy8({"ST", 25.0, -60.0, 140.0, 1.0, 1.0, 145.0, -0.0, 0.0}, -70.0, 150.0).y;
  const double y8p =
      to_xy8({"ST", 25.0, -60.0, 140.0, 1.0, 1.0, 145.0, 0.0, 0.0}, -70.0, 150.0).y;
  EXPECT_NEAR(y8m, a.y, 1e-2);
  EXPECT_NEAR(y8p, c.y, 1e-2);
}

TEST(Projection, CodeIsFirstTwoCharactersCaseSensitive) {
  const XY lc = to_xy(kSiteGrid, 40.0f, -105.0f);
  Grid longer = kSiteGrid;
  longer.code = "LCC";
  const XY p = to_xy(longer, 40.0f, -105.0f);
  EXPECT_EQ(bits_of(p.x), bits_of(lc.x));
  EXPECT_EQ(bits_of(p.y), bits_of(lc.y));
}

TEST(Projection, UnknownCodeReportsAndStopsInEveryDirection) {
  struct Case {
    const char* proj;
    const char* record;
  };
  for (const Case c : {Case{"XX", " Unrecognized project:  XX\n"},
                       Case{"lc", " Unrecognized project:  lc\n"},
                       Case{"L", " Unrecognized project:  L \n"},
                       Case{"", " Unrecognized project:    \n"}}) {
    Grid g = kSiteGrid;
    g.code = c.proj;
    const auto inverse = outcome_of([&] { to_ll(g, 1.0f, 1.0f); });
    const auto forward = outcome_of([&] { to_xy(g, 40.0f, -105.0f); });
    const auto forward8 = outcome_of([&] {
      to_xy8({c.proj, 3.0, 21.0, 237.0, 1.0, 1.0, 262.5, 38.5, 38.5}, 40.0, -105.0);
    });
    for (const auto& o : {inverse, forward, forward8}) {
      EXPECT_TRUE(o.ended) << c.proj;
      EXPECT_EQ(o.status, 1);
      EXPECT_EQ(o.stop, "");
      EXPECT_EQ(o.out, c.record);
    }
  }
}

TEST(Projection, DegenerateInputGivesNonFiniteValuesWithoutStopping) {
  Grid g = kCylindrical;
  g.dx = 0.0f;
  const XY ce = to_xy(g, 12.0f, 110.0f);
  EXPECT_TRUE(std::isinf(ce.x) && std::isinf(ce.y));
  const XY pole = to_xy(kMercator, 90.0f, 20.0f);
  EXPECT_FALSE(std::isfinite(pole.y) && std::fabs(pole.y) < 1e6f);
  Grid lc = kSiteGrid;
  lc.dx = 0.0f;
  const XY l = to_xy(lc, 40.0f, -105.0f);
  EXPECT_FALSE(std::isfinite(l.x) && std::isfinite(l.y));
}

}  // namespace
