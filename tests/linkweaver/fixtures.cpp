#include "fixtures.hpp"

#include <type_traits>

#include "cdl_builder.hpp"
#include "test_support.hpp"

namespace rn::linkweaver::test {

using rn::test::Cdl;

namespace {

constexpr float kLat0 = 0.0f;
constexpr float kLon0 = -105.25f;

}  // namespace

Basin::Basin(int ix, int jx)
    : ixrt(ix),
      jxrt(jx),
      channel(static_cast<std::size_t>(ix * jx), -9999),
      flow(channel.size(), 1),
      order(channel.size(), 1),
      lat(channel.size(), 0.0f),
      lon(channel.size(), 0.0f) {}

void Basin::place(int i, int j, int pi, int pj) {
  at(lat, i, j) = kLat0 + static_cast<float>(pj - 1);
  at(lon, i, j) = kLon0 + static_cast<float>(pi - 1);
}

void Basin::write(const std::filesystem::path& dir) const {
  rn::test::write_file(dir / "namelist.nesting",
                       "&namelist_nesting\n mapproject = '" + mapproject +
                           "'\n fulldom_child_f = 'child.nc'\n fulldom_parent_f = 'none.nc'\n"
                           " routinelin_p_f = 'route.nc'\n dxkm = 1.0\n geo_parent_f = 'geo.nc'\n"
                           " nhd_map_f = 'nhd.nc'\n flowin_out = F\n order_diff = 1\n/\n");

  Cdl child;
  child.dim("y", static_cast<std::size_t>(jxrt));
  child.dim("x", static_cast<std::size_t>(ixrt));
  auto north_first = [&](const auto& field) {
    std::remove_cvref_t<decltype(field)> stored;
    for (int j = jxrt; j >= 1; --j) {
      const auto row = field.begin() + (j - 1) * ixrt;
      stored.insert(stored.end(), row, row + ixrt);
    }
    return stored;
  };
  auto grid = [&](const char* type, const char* name, const auto& field) {
    if (name != child_omit) child.var(type, name, "y, x", north_first(field));
  };
  grid("int", "CHANNELGRID", channel);
  grid("int", "FLOWDIRECTION", flow);
  grid("int", "STREAMORDER", order);
  grid("float", "LATITUDE", lat);
  grid("float", "LONGITUDE", lon);
  rn::test::write_cdl(dir / "child.nc", child.text());

  Cdl geo;  // 3 x 2 cells with a time dimension; only cell (1, 1) matters
  geo.dim("Time", 1);
  geo.dim("south_north", 2);
  geo.dim("west_east", 3);
  geo.var("float", "XLAT_M", "Time, south_north, west_east", std::vector<float>{kLat0, 1, 2, 3, 4, 5});
  if (geo_has_xlong) {
    geo.var("float", "XLONG_M", "Time, south_north, west_east", std::vector<float>{kLon0, 1, 2, 3, 4, 5});
  }
  geo.lines("  :TRUELAT1 = 30.f ;\n  :STAND_LON = -100.f ;\n" + geo_attributes);
  rn::test::write_cdl(dir / "geo.nc", geo.text());

  Cdl route;
  route.dim("linkDim", link.size());
  route.var("int", "link", "linkDim", link);
  route.var("int", "order", "linkDim", link_order);
  rn::test::write_cdl(dir / "route.nc", route.text());

  std::vector<int> ids, counts, ii, jj;
  std::vector<double> weights;
  for (const Polygon& p : polygons) {
    ids.push_back(p.id);
    counts.push_back(static_cast<int>(p.records.size()));
    for (const Polygon::Record& r : p.records) {
      ii.push_back(r.i);
      jj.push_back(r.j);
      weights.push_back(r.weight);
    }
  }
  Cdl nhd;
  nhd.dim("polyid", ids.size());
  nhd.dim("data", ii.size());
  nhd.var("int", "polyid", "polyid", ids);
  nhd.var("int", "overlaps", "polyid", overlap_counts.empty() ? counts : overlap_counts);
  nhd.var("int", "i_index", "data", ii);
  nhd.var("int", "j_index", "data", jj);
  nhd.var("double", "regridweight", "data", weights);
  rn::test::write_cdl(dir / "nhd.nc", nhd.text());
}

}  // namespace rn::linkweaver::test
