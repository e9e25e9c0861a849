// Input files of a mapping run written as CDL: a child routing grid, a
// parent geo file, route-link and overlap files, and namelist.nesting.
// Fixtures use the cylindrical equidistant code with 1-degree cells, so
// that a child cell is placed in a chosen parent cell exactly.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "nc_test_support.hpp"

namespace rn::linkweaver::test {

using Ending = rn::test::Outcome;

/// Runs `body`, capturing its records and the program end it takes, if any.
template <typename F>
Ending ending_of(F&& body) {
  return rn::test::outcome_of(std::forward<F>(body));
}

struct Polygon {
  int id;
  struct Record {
    int i, j;
    double weight;
  };
  std::vector<Record> records;
};

/// A whole basin; `write` puts child.nc, geo.nc, route.nc, nhd.nc and
/// namelist.nesting into a folder.  Child fields are indexed (i, j) with j
/// counted from the south and written with their rows stored north to south.
struct Basin {
  Basin(int ixrt, int jxrt);

  int ixrt, jxrt;
  std::vector<int> channel, flow, order;  // default -9999, 1, 1
  std::vector<float> lat, lon;
  std::vector<int> link, link_order;
  std::vector<Polygon> polygons;
  std::string mapproject = "CE";
  std::string child_omit;           ///< a child grid variable left out
  bool geo_has_xlong = true;        ///< false leaves XLONG_M out
  std::string geo_attributes;       ///< more global attributes of geo.nc (CDL lines)
  std::vector<int> overlap_counts;  ///< replaces the polygons' record counts

  template <typename T>
  T& at(std::vector<T>& field, int i, int j) {
    return field[static_cast<std::size_t>((j - 1) * ixrt + (i - 1))];
  }
  /// Sets child cell (i, j) to lie in parent cell (pi, pj); parent cell
  /// (1, 1) lies at latitude 0, longitude -105.25.
  void place(int i, int j, int pi, int pj);
  void write(const std::filesystem::path& dir) const;
};

}  // namespace rn::linkweaver::test
