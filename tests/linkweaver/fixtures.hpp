// Input files of a mapping run written as CDL: a child routing grid, a
// parent geo file, route-link and overlap files, and namelist.nesting.
// Fixtures use the cylindrical equidistant code with 1-degree cells, so
// that a child cell is placed in a chosen parent cell exactly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "../common/nc_test_support.hpp"

namespace rn::linkweaver::test {

/// Child routing grid, cells (i, j) with j counted from the south; written
/// with its rows stored north to south.
struct ChildGrid {
  ChildGrid(int ixrt, int jxrt);
  int ixrt, jxrt;
  std::vector<int> channel, flow, order;  // default -9999, 1, 1
  std::vector<float> lat, lon;            // default 0

  template <typename T>
  T& at(std::vector<T>& field, int i, int j) {
    return field[static_cast<std::size_t>((j - 1) * ixrt + (i - 1))];
  }
  /// CDL of the grid file; `omit` names a variable to leave out.
  std::string cdl(const std::string& omit = "") const;
};

struct Polygon {
  int id;
  struct Record {
    int i, j;
    double weight;
  };
  std::vector<Record> records;
};

/// A whole basin; `write` puts child.nc, geo.nc, route.nc, nhd.nc and
/// namelist.nesting into a folder.
struct Basin {
  explicit Basin(ChildGrid grid) : child(std::move(grid)) {}

  ChildGrid child;
  float lat0 = 0.0f;
  float lon0 = -105.25f;
  int geo_ix = 3;
  int geo_jx = 2;
  std::vector<int> link, link_order;
  std::vector<Polygon> polygons;
  std::string mapproject = "CE";
  bool flowin_out = false;
  int order_diff = 1;
  std::string child_omit;           ///< a child grid variable left out
  bool geo_has_xlong = true;        ///< false leaves XLONG_M out
  std::vector<int> overlap_counts;  ///< replaces the polygons' record counts

  /// Sets child cell (i, j) to lie in parent cell (pi, pj).
  void place(int i, int j, int pi, int pj);
  void write(const std::filesystem::path& dir) const;
  std::string namelist() const;
  std::string geo_cdl() const;
  std::string route_cdl() const;
  std::string overlap_cdl() const;
};

/// What a routine did: its records, and how it ended the program if it did.
using Ending = rn::test::Outcome;

template <typename F>
Ending ending_of(F&& body) {
  return rn::test::outcome_of(std::forward<F>(body));
}

}  // namespace rn::linkweaver::test
