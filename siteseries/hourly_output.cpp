// The hourly text files: one fixed-width line per usable site.
//
//   rain only (113 characters):
//     label, pcp, index, zip, city, state|country, lat, lon
//   full set (183 characters):
//     label, pcp, u10, v10, t2, q2, humidity, index, zip, city,
//     state|country, lat, lon
//
// Every column but the last is followed by " ,".  Reals are fixed-point in
// 12 characters (6 decimals; the humidity 1 decimal), the index an integer in
// 8, the zip its trimmed text in 5 (right-aligned, or its first 5
// characters), the names their 20 stored characters.  A value that does not
// fit its field (such as the missing value) is written as asterisks.
#include <algorithm>
#include <cstring>

#include "atomic_output.hpp"
#include "command_line.hpp"
#include "interpolation.hpp"
#include "siteseries.hpp"
#include "text_record.hpp"

namespace rn::siteseries {

namespace {

constexpr int kRealWidth = 12;
constexpr int kRealDecimals = 6;
constexpr int kHumidityDecimals = 1;
constexpr int kIndexWidth = 8;
constexpr std::size_t kZipColumn = 5;
constexpr std::size_t kNameColumn = 20;

char* put_separator(char* out) {
  out[0] = ' ';
  out[1] = ',';
  return out + 2;
}

// A text cut or blank-padded on the right to `width`.
char* put_text(char* out, std::string_view text, std::size_t width) {
  const std::size_t n = std::min(text.size(), width);
  std::memcpy(out, text.data(), n);
  std::memset(out + n, ' ', width - n);
  return out + width;
}

// The zip with its trailing blanks removed, right-aligned in 5 characters,
// or its first 5 characters when longer.
char* put_zip(char* out, std::string_view zip) {
  const std::string_view z = trim_right(zip);
  if (z.size() >= kZipColumn) return put_text(out, z, kZipColumn);
  std::memset(out, ' ', kZipColumn - z.size());
  std::memcpy(out + (kZipColumn - z.size()), z.data(), z.size());
  return out + kZipColumn;
}

char* put_real(char* out, float value, int decimals = kRealDecimals) {
  return put_separator(put_fixed_field(out, value, kRealWidth, decimals));
}

}  // namespace

char* put_site_line(char* out, const SiteSeries& m, std::size_t i, std::string_view label) {
  const float x = m.site_x[i];
  const float y = m.site_y[i];
  const auto at = [&](const Field& f) { return f.at(m.shape, x, y); };
  const Site& site = m.sites[i];

  out = put_separator(put_text(out, label, kLabelWidth));
  out = put_real(out, at(m.pcp));
  if (m.rain_only != 1) {
    const float t = at(m.t2);
    const float q = at(m.q2);
    out = put_real(out, at(m.u10));
    out = put_real(out, at(m.v10));
    out = put_real(out, t);
    out = put_real(out, q);
    out = put_real(out, humidity(t, q), kHumidityDecimals);
  }
  out = put_separator(put_int_width(out, static_cast<std::int32_t>(i + 1), kIndexWidth));
  out = put_separator(put_zip(out, site.zip));
  out = put_separator(put_text(out, site.city, kNameColumn));
  out = put_separator(put_text(out, site.state_or_country, kNameColumn));
  out = put_real(out, site.lat);
  out = put_fixed_field(out, site.lon, kRealWidth, kRealDecimals);
  *out++ = '\n';
  return out;
}

// Contract: writes the lines of every site with a positive position, in
// list order, into a temporary beside `file` and renames it onto `file`
// when complete, so that an interrupted run leaves no partial hour behind.
// The sites and fields are not changed.  Cost: O(sites).
void write_hour(const SiteSeries& m, const std::string& file, std::string_view label) {
  AtomicTextFile output(file);
  char line[kMaxLineBytes];
  for (std::size_t i = 0; i < m.sites.size(); ++i) {
    if (!(m.site_x[i] > 0.0f && m.site_y[i] > 0.0f)) continue;
    const char* end = put_site_line(line, m, i, label);
    output.text().write(std::string_view(line, static_cast<std::size_t>(end - line)));
  }
  output.commit();
}

}  // namespace rn::siteseries
