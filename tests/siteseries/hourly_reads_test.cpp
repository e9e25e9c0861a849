// The module in process: the rows planned for the sites, partial reads
// against whole reads, fields carried over hours, the line layouts.
#include "siteseries.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "forcing_fixture.hpp"
#include "interpolation.hpp"
#include "program_end.hpp"
#include "test_support.hpp"
#include "text_record.hpp"

namespace {

using rn::siteseries::SiteSeries;
using rn::site_readers::RowWindow;

// A module on an ix by jy grid with sites at the given positions, fields
// allocated (full set unless `rain_only`) and filled with `fill`.
SiteSeries module_with(int ix, int jy, const std::vector<std::pair<float, float>>& positions,
                   bool rain_only = false, float fill = -7.0f) {
  SiteSeries m;
  m.rain_only = rain_only ? 1 : 0;
  if (rain_only) {
    m.pcp.name = "RAIN";
    m.pcp.per_second = false;
  }
  for (const auto& [x, y] : positions) {
    rn::Site s;
    s.city.replace(0, 4, "Site");
    m.sites.push_back(s);
    m.site_x.push_back(x);
    m.site_y.push_back(y);
  }
  m.shape = {static_cast<std::size_t>(ix), static_cast<std::size_t>(jy)};
  for (rn::siteseries::Field* f : rn::siteseries::hourly_fields(m)) {
    f->allocate(static_cast<std::size_t>(ix), static_cast<std::size_t>(jy));
    std::ranges::fill(f->grid.values(), fill);
  }
  rn::siteseries::plan_rows(m);
  return m;
}

std::string line_of(const SiteSeries& m, std::size_t i, std::string_view label = "2016022900") {
  char buf[rn::siteseries::kMaxLineBytes];
  return std::string(buf, rn::siteseries::put_site_line(buf, m, i, label));
}

std::string all_lines(const SiteSeries& m) {
  std::string s;
  for (std::size_t i = 0; i < m.sites.size(); ++i) {
    if (m.site_x[i] > 0.0f && m.site_y[i] > 0.0f) s += line_of(m, i);
  }
  return s;
}

std::vector<std::pair<int, int>> windows(const SiteSeries& m) {
  std::vector<std::pair<int, int>> w;
  for (const RowWindow& r : m.rows) w.emplace_back(r.first, r.last);
  return w;
}

TEST(PlanRows, BlocksOfUsableSitesMergedWhenClose) {
  // Rows: y 2.0 -> 1..4; 3.5 -> 2..5 (merged); 30.2 -> 29..32 (gap of 23);
  // 39.0 -> 38..40 (cut at the last row; gap 5, merged).  x = 1.5, y = 0 and
  // x beyond ix - 1 are not usable and add no rows.
  const SiteSeries m = module_with(
      12, 40, {{2.0f, 2.0f}, {5.0f, 3.5f}, {3.0f, 30.2f}, {11.0f, 39.0f}, {1.5f, 20.0f},
               {0.0f, 15.0f}, {11.5f, 10.0f}, {std::nanf(""), 12.0f}});
  EXPECT_EQ(windows(m), (std::vector<std::pair<int, int>>{{1, 5}, {29, 40}}));
  EXPECT_TRUE(module_with(12, 40, {{1.0f, 1.0f}}).rows.empty());
}

TEST(SiteLine, BothLayoutsWithAsterisksForUnservedPositions) {
  SiteSeries m = module_with(6, 6, {{3.0f, 3.0f}, {1.5f, 5.0f}});
  m.sites[0].zip = "123    ";
  m.sites[0].lat = 40.0999985f;
  m.sites[0].lon = 254.75f;
  for (rn::siteseries::Field* f : rn::siteseries::hourly_fields(m)) std::ranges::fill(f->grid.values(), 1.25f);
  std::ranges::fill(m.t2.grid.values(), 273.5f);
  std::ranges::fill(m.q2.grid.values(), 0.00611f);
  const std::string full = line_of(m, 0);
  EXPECT_EQ(full.size(), 184u);
  EXPECT_EQ(full, rn::test::expected_line("2016022900", {1.25, 1.25, 1.25, 273.5, 0.00611, 100.0},
                                          1, "123", "Site", "", 40.0999985, 254.75));
  const std::string edge = line_of(m, 1);
  EXPECT_EQ(edge, rn::test::expected_line("2016022900", std::vector<double>(6, std::nan("")), 2,
                                          "00000", "Site", "", 0.0, 0.0));

  SiteSeries rain = module_with(6, 6, {{3.0f, 3.0f}}, true, 0.0f);
  rain.sites[0].zip = "1234567";
  std::ranges::fill(rain.pcp.grid.values(), 12.5f);
  const std::string line = line_of(rain, 0);
  EXPECT_EQ(line.size(), 114u);
  EXPECT_EQ(line, rn::test::expected_line("2016022900", {12.5}, 1, "12345", "Site", "", 0.0, 0.0));
}

class ForcingFiles : public ::testing::Test {
 protected:
  rn::test::ScratchDir dir_;

  // A 23 x 31 grid with smooth, distinct fields.
  static std::vector<rn::test::ForcingVar> vars(float hour) {
    return rn::test::full_set(
        [hour](int i, int j) { return std::sin(0.3f * i) * std::cos(0.2f * j) + hour; },
        [hour](int i, int j) { return 0.01f * i * j - hour; }, 280.0f, 0.008f, 0.0005f * hour);
  }
  std::string write(const std::string& name, float hour, const std::string& format,
                    std::vector<rn::test::ForcingVar> v = {}) {
    const auto path = dir_ / name;
    rn::test::write_forcing(path, rn::test::latlon_grid(23, 31, 40.0f, -0.1f, -100.0f, 0.1f),
                            v.empty() ? vars(hour) : v, format, 3);
    return path.string();
  }
};

TEST_F(ForcingFiles, PartialReadsGiveTheLinesOfWholeReads) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> x(0.5f, 23.5f), y(0.5f, 31.5f);
  std::vector<std::pair<float, float>> positions{{22.0f, 30.0f}, {2.0f, 2.0f}, {22.0f, 2.0f}};
  for (int k = 0; k < 5; ++k) positions.emplace_back(x(random), y(random));
  for (int k = 0; k < 3; ++k) positions.emplace_back(x(random), 25.0f + 0.5f * k);
  for (const std::string format : {"classic", "nc4"}) {
    const std::string file = write("hour." + format, 1.0f, format);
    SiteSeries planned = module_with(23, 31, positions);
    SiteSeries whole = module_with(23, 31, positions);
    whole.rows = {{1, 31}};
    ASSERT_LT(planned.rows.size(), 4u);
    rn::siteseries::read_hour(planned, file);
    rn::siteseries::read_hour(whole, file);
    EXPECT_EQ(all_lines(planned), all_lines(whole)) << format;
    // Rows outside the plan are never read.
    int unplanned = 0;
    for (int row = 1; row <= 31 && unplanned == 0; ++row) {
      bool covered = false;
      for (const RowWindow& w : planned.rows) covered = covered || (w.first <= row && row <= w.last);
      if (!covered) unplanned = row;
    }
    ASSERT_GT(unplanned, 0);
    EXPECT_EQ(planned.u10.grid[static_cast<std::size_t>(unplanned - 1) * 23 + 5], -7.0f);
    EXPECT_NE(whole.u10.grid[static_cast<std::size_t>(unplanned - 1) * 23 + 5], -7.0f);
  }
}

TEST_F(ForcingFiles, MissingVariablesKeepTheLastValuesReadOrLookedAt) {
  const std::string h1 = write("h1.nc", 1.0f, "classic");
  const std::string h2 = write("h2.nc", 2.0f, "classic");
  auto partial = vars(3.0f);
  partial.erase(partial.begin());  // no U10
  partial.pop_back();              // no RAINRATE
  const std::string h3 = write("h3.nc", 3.0f, "classic", partial);

  // Reading every hour.
  SiteSeries read_all = module_with(23, 31, {{5.5f, 7.25f}, {12.0f, 20.0f}});
  std::string out_read;
  {
    rn::CaptureStdout capture(&out_read);
    for (const std::string& h : {h1, h2, h3}) rn::siteseries::read_hour(read_all, h);
  }
  // Hours 1 and 2 only looked at (their outputs exist), hour 3 read.
  SiteSeries looked = module_with(23, 31, {{5.5f, 7.25f}, {12.0f, 20.0f}});
  std::string out_looked;
  {
    rn::CaptureStdout capture(&out_looked);
    rn::siteseries::note_hour(looked, h1);
    rn::siteseries::note_hour(looked, h2);
    rn::siteseries::read_hour(looked, h3);
  }
  EXPECT_EQ(all_lines(looked), all_lines(read_all));
  EXPECT_EQ(out_looked, out_read);
  EXPECT_EQ(out_read, " get2d_real: failed to find the variables: U10 and U10_M in " + h3 +
                          "\n get2d_real: failed to find the variables: RAINRATE and RAINRATE_M in " +
                          h3 + "\n");
  // Hour 2's rain rate (0.001 mm/s) stays 3.6 mm/h: not multiplied again.
  EXPECT_NE(all_lines(read_all).find(" ,    3.600000 ,"), std::string::npos);
  // Hour 2's U10 (grid values + 2) is kept, not hour 3's.
  SiteSeries hour2 = module_with(23, 31, {{5.5f, 7.25f}, {12.0f, 20.0f}});
  rn::siteseries::read_hour(hour2, h2);
  EXPECT_EQ(line_of(read_all, 0).substr(26, 12), line_of(hour2, 0).substr(26, 12));
}

}  // namespace
