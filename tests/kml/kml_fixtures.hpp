// Inputs and expected documents shared by the end-to-end tests of the globe
// exporters.
#pragma once

#include <zip.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "test_support.hpp"

namespace rn::kml_test {

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
