// Inputs and expected documents shared by the end-to-end tests of the globe
// exporters.
#pragma once

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.hpp"

namespace rn::kml_test {

/// A scratch folder to run the exporters in.
class ExporterFolder : public ::testing::Test {
 protected:
  std::filesystem::path at(const std::string& name) const { return dir_ / name; }
  rn::test::RunResult tool(const std::string& program, const std::vector<std::string>& args) {
    return rn::test::run(program, args, dir_.path());
  }
  rn::test::ScratchDir dir_;
};

inline std::string expected(const std::string& name) {
  return rn::test::read_file(rn::test::source_dir() / "tests/kml/expected" / name);
}
inline std::filesystem::path stations() {
  return rn::test::source_dir() / "tests/kml/data/stations.txt";
}

// A channel output of eight points: one below the order bound, one off the
// thinned grid (jumpInt 3), negative grid indices, a value of 3.99, a NaN.
inline std::string channel_cdl(const std::string& dim = "recNum", int points = 8) {
  std::string cdl = "netcdf chrt {\ndimensions:\n  " + dim + " = " + std::to_string(points) +
                    " ;\nvariables:\n"
                    "  float streamflow(" + dim + ") ;\n  float acc_streamflowMax(" + dim +
                    ") ;\n  float latitude(" + dim + ") ;\n  double longitude(" + dim +
                    ") ;\n  short order(" + dim + ") ;\n  int chanxi(" + dim +
                    ") ;\n  int chanyj(" + dim + ") ;\n";
  if (points == 0) return cdl + "}\n";
  return cdl +
         "data:\n"
         "  streamflow = 50, 4, 100, 8, 128, 3.99, NaNf, 64 ;\n"
         "  acc_streamflowMax = 50, 5, 100, 10, 7, 3.5, NaNf, 1000 ;\n"
         "  latitude = 40.1, 40.2, 40.3, 39.5, -33.875, 0.05, 45, 12.5 ;\n"
         "  longitude = -105.25, -105.5, -105.75, -104.75, 151.25, 0, -100, -0.001 ;\n"
         "  order = 1, 2, 3, 3, 2, 4, 2, 5 ;\n"
         "  chanxi = 3, 3, 7, -6, 1, 6, 0, 12 ;\n"
         "  chanyj = 3, 7, 8, 1, -9, 6, 5, 0 ;\n}\n";
}

inline std::string segment_cdl(int points = 3) {
  std::string cdl = "netcdf seg {\ndimensions:\n  n = " + std::to_string(points) +
                    " ;\nvariables:\n  float chlat(n) ;\n  float chlon(n) ;\n"
                    "  int order(n) ;\n  int chanxi(n) ;\n  int chanyj(n) ;\n";
  if (points == 0) return cdl + "}\n";
  return cdl +
         "data:\n  chlat = 40.1, 50.5, -0.5 ;\n  chlon = -105.25, 7.25, -179.75 ;\n"
         "  order = 1, 0, 2 ;\n  chanxi = 120, 3, -1 ;\n  chanyj = 88, 4, 2147483647 ;\n}\n";
}

/// The CDL with variable `from` declared and given data as `to`.
inline std::string rename_variable(std::string cdl, const std::string& from,
                                   const std::string& to) {
  for (const std::string tail : {"(", " ="}) {
    const auto at = cdl.find(" " + from + tail);
    if (at != std::string::npos) cdl.replace(at + 1, from.size(), to);
  }
  return cdl;
}

/// A segment-information file of `n` points spread over a continent, stream
/// orders 1 to 8 (order 8 rare), a few hundred of them at one place.
inline std::string large_segment_cdl(int n) {
  std::string lat, lon, order, cells;
  unsigned state = 12345;
  const auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 8) & 0xffff; };
  for (int i = 0; i < n; ++i) {
    const bool clustered = i % 97 == 0;
    const float la = clustered ? 41.5f : 25.0f + 25.0f * static_cast<float>(next()) / 65535.0f;
    const float lo = clustered ? -100.25f : -125.0f + 58.0f * static_cast<float>(next()) / 65535.0f;
    const unsigned r = next() % 1000;
    const int o = r < 500 ? 1 : r < 750 ? 2 : r < 880 ? 3 : r < 950 ? 4 : r < 980 ? 5 : r < 993 ? 6 : r < 999 ? 7 : 8;
    const char* sep = i + 1 < n ? ", " : " ;\n";
    lat += std::to_string(la) + sep;
    lon += std::to_string(lo) + sep;
    order += std::to_string(o) + sep;
    cells += std::to_string(i % 400) + sep;
  }
  return "netcdf seg {\ndimensions:\n  n = " + std::to_string(n) +
         " ;\nvariables:\n  float chlat(n) ;\n  float chlon(n) ;\n  int order(n) ;\n"
         "  int chanxi(n) ;\n  int chanyj(n) ;\ndata:\n  chlat = " + lat + "  chlon = " + lon +
         "  order = " + order + "  chanxi = " + cells + "  chanyj = " + cells + "}\n";
}

/// The entries of a zip package, name and bytes, in archive order; empty
/// when it does not open as one.
inline std::vector<std::pair<std::string, std::string>> package_entries(
    const std::filesystem::path& package) {
  std::vector<std::pair<std::string, std::string>> entries;
  int error = 0;
  zip_t* archive = zip_open(package.c_str(), ZIP_RDONLY, &error);
  if (archive == nullptr) return entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_file_t* file = zip_fopen_index(archive, i, 0);
    if (zip_stat_index(archive, i, 0, &st) != 0 || file == nullptr) break;
    std::string bytes(st.size, '\0');
    const zip_int64_t read = zip_fread(file, bytes.data(), st.size);
    zip_fclose(file);
    if (read != static_cast<zip_int64_t>(st.size)) break;
    entries.emplace_back(st.name, std::move(bytes));
  }
  zip_discard(archive);
  return entries;
}

/// The bytes of entry `name` of `entries`; empty when there is none.
inline std::string entry(const std::vector<std::pair<std::string, std::string>>& entries,
                         const std::string& name) {
  for (const auto& [n, bytes] : entries) {
    if (n == name) return bytes;
  }
  return {};
}

/// How often `what` occurs in `text`.
inline std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace rn::kml_test
