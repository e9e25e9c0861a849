// Reading the gridded fields of the hourly forcing files, restricted to the
// grid rows that the sites need.
#include <algorithm>

#include "interpolation.hpp"
#include "siteseries.hpp"

namespace rn::siteseries {

namespace {

// Row windows closer than this many rows are read as one: reading a few
// unused rows costs less than one more hyperslab request to the library.
constexpr std::int32_t kRowGap = 8;

// Multiplies the rows just read of a rain-rate field by 3600 (mm/s to mm/h);
// rows not read keep their values, already scaled when they were read.
void scale_rows(SiteSeries& m, Field& f) {
  if (!f.per_second) return;
  const std::span<float> values = f.grid.values();
  const std::size_t columns = f.grid.columns();
  for (const site_readers::RowWindow& w : m.rows) {
    const auto begin = values.begin() + static_cast<std::ptrdiff_t>((w.first - 1) * columns);
    const auto end = values.begin() + static_cast<std::ptrdiff_t>(w.last * columns);
    std::for_each(begin, end, [](float& v) { v = v * 3600.0f; });
  }
}

// The rows `rows` of field `f` from `file` through the point-extraction
// reader (its messages on failure); 0 when read, -1 otherwise.
// The field's values are allocated only once the reader has found the
// variable with the grid's number of values.
int read_field_rows(const SiteSeries& m, Field& f, const std::string& file,
                    std::span<const site_readers::RowWindow> rows) {
  return site_readers::get2d_real(f.name, [&] { return f.values_for(m.shape); },
                                  static_cast<std::int32_t>(m.shape.columns),
                                  static_cast<std::int32_t>(m.shape.rows), file, rows);
}

// Reads the planned rows of `f` from `file`; true when read.
bool read_rows(SiteSeries& m, Field& f, const std::string& file) {
  if (read_field_rows(m, f, file, m.rows) != 0) return false;
  scale_rows(m, f);
  return true;
}

// The field from the hour's file; a file without the variable (or whose
// values cannot be read) leaves the field with the values of the last file
// that had it, fetched now if that file was only looked at.
void fetch(SiteSeries& m, Field& f, const std::string& file) {
  if (read_rows(m, f, file) || f.pending.empty()) {
    f.pending.clear();
    return;
  }
  const std::string earlier = std::move(f.pending);
  f.pending.clear();
  read_rows(m, f, earlier);
}

}  // namespace

std::vector<Field*> hourly_fields(SiteSeries& m) {
  if (m.rain_only == 1) return {&m.pcp};
  return {&m.u10, &m.v10, &m.t2, &m.q2, &m.pcp};
}

// Rows of the interpolation blocks of the usable sites.
// Contract: a site is usable when its position is positive (it gets a line)
// and inside the interpolation's interior (its line holds values); its block
// covers the rows j0 - 1 .. j0 + 2, cut to the grid.  The windows come out
// sorted, disjoint, with gaps of more than kRowGap rows between them.
// Cost: O(sites log sites).
void plan_rows(SiteSeries& m) {
  std::vector<site_readers::RowWindow> blocks;
  for (std::size_t i = 0; i < m.sites.size(); ++i) {
    if (!(m.site_x[i] > 0.0f && m.site_y[i] > 0.0f) ||
        !interior(m.site_x[i], m.site_y[i], m.shape)) {
      continue;
    }
    const Stencil s = stencil(m.site_y[i], m.shape.rows);
    blocks.push_back({s.first, s.last});
  }
  std::sort(blocks.begin(), blocks.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  m.rows.clear();
  for (const site_readers::RowWindow& b : blocks) {
    if (!m.rows.empty() && b.first <= m.rows.back().last + 1 + kRowGap) {
      m.rows.back().last = std::max(m.rows.back().last, b.last);
    } else {
      m.rows.push_back(b);
    }
  }
}

void read_hour(SiteSeries& m, const std::string& file) {
  for (Field* f : {&m.u10, &m.v10, &m.t2, &m.q2, &m.pcp}) fetch(m, *f, file);
}

void read_hour_rain(SiteSeries& m, const std::string& file) { fetch(m, m.pcp, file); }

void note_hour(SiteSeries& m, const std::string& file) {
  for (Field* f : hourly_fields(m)) {
    const std::span<const site_readers::RowWindow> no_rows;
    if (read_field_rows(m, *f, file, no_rows) == 0) {
      f->pending = file;
    }
  }
}

}  // namespace rn::siteseries
