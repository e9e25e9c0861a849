#include "fixtures.hpp"

#include <cstdio>
#include <sstream>

#include "test_support.hpp"

namespace rn::linkweaver::test {

namespace {

std::string real_text(double v, int digits) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

// A CDL data list; empty lists are not written (an unlimited dimension then
// holds no records).
template <typename T>
void data_list(std::ostringstream& s, const char* name, const std::vector<T>& values) {
  if (values.empty()) return;
  s << "  " << name << " = ";
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (k) s << ", ";
    if constexpr (std::is_same_v<T, float>) s << real_text(values[k], 9);
    else if constexpr (std::is_same_v<T, double>) s << real_text(values[k], 17);
    else s << values[k];
  }
  s << " ;\n";
}

std::string dim(const char* name, std::size_t length) {
  return std::string("  ") + name + " = " +
         (length == 0 ? std::string("UNLIMITED") : std::to_string(length)) + " ;\n";
}

}  // namespace

ChildGrid::ChildGrid(int ixrt_, int jxrt_)
    : ixrt(ixrt_),
      jxrt(jxrt_),
      channel(static_cast<std::size_t>(ixrt_ * jxrt_), -9999),
      flow(static_cast<std::size_t>(ixrt_ * jxrt_), 1),
      order(static_cast<std::size_t>(ixrt_ * jxrt_), 1),
      lat(static_cast<std::size_t>(ixrt_ * jxrt_), 0.0f),
      lon(static_cast<std::size_t>(ixrt_ * jxrt_), 0.0f) {}

std::string ChildGrid::cdl(const std::string& omit) const {
  auto north_first = [&](const auto& field) {
    std::remove_cvref_t<decltype(field)> stored;
    for (int j = jxrt; j >= 1; --j) {
      for (int i = 1; i <= ixrt; ++i) stored.push_back(field[static_cast<std::size_t>((j - 1) * ixrt + i - 1)]);
    }
    return stored;
  };
  std::ostringstream s;
  s << "netcdf child {\ndimensions:\n" << dim("y", jxrt) << dim("x", ixrt) << "variables:\n";
  for (const char* name : {"CHANNELGRID", "FLOWDIRECTION", "STREAMORDER"}) {
    if (name != omit) s << "  int " << name << "(y, x) ;\n";
  }
  for (const char* name : {"LATITUDE", "LONGITUDE"}) {
    if (name != omit) s << "  float " << name << "(y, x) ;\n";
  }
  s << "data:\n";
  auto put = [&](const char* name, const auto& field) {
    if (name != omit) data_list(s, name, north_first(field));
  };
  put("CHANNELGRID", channel);
  put("FLOWDIRECTION", flow);
  put("STREAMORDER", order);
  put("LATITUDE", lat);
  put("LONGITUDE", lon);
  s << "}\n";
  return s.str();
}

void Basin::place(int i, int j, int pi, int pj) {
  // Cylindrical equidistant, 1-degree cells, parent cell (1, 1) at
  // (lat0, lon0): whole degrees land exactly on the cell centre.
  child.at(child.lat, i, j) = lat0 + static_cast<float>(pj - 1);
  child.at(child.lon, i, j) = lon0 + static_cast<float>(pi - 1);
}

std::string Basin::namelist() const {
  std::ostringstream s;
  s << "&namelist_nesting\n"
    << " mapproject = '" << mapproject << "'\n"
    << " fulldom_child_f = 'child.nc'\n"
    << " fulldom_parent_f = 'no_such_parent.nc'\n"
    << " routinelin_p_f = 'route.nc'\n"
    << " dxkm = 1.0\n"
    << " geo_parent_f = 'geo.nc'\n"
    << " nhd_map_f = 'nhd.nc'\n"
    << " flowin_out = " << (flowin_out ? ".true." : ".false.") << "\n"
    << " order_diff = " << order_diff << "\n/\n";
  return s.str();
}

std::string Basin::geo_cdl() const {
  const std::size_t cells = static_cast<std::size_t>(geo_ix * geo_jx);
  std::vector<float> lat(cells, 45.0f), lon(cells, -90.0f);
  if (cells > 0) {
    lat[0] = lat0;
    lon[0] = lon0;
  }
  std::ostringstream s;
  s << "netcdf geo {\ndimensions:\n  Time = 1 ;\n" << dim("south_north", geo_jx)
    << dim("west_east", geo_ix)
    << "variables:\n  float XLAT_M(Time, south_north, west_east) ;\n"
    << (geo_has_xlong ? "  float XLONG_M(Time, south_north, west_east) ;\n" : "")
    << "// global attributes:\n  :TRUELAT1 = 30.f ;\n  :TRUELAT2 = 60.f ;\n"
    << "  :CEN_LAT = 40.f ;\n  :CEN_LON = -100.f ;\n  :STAND_LON = -100.f ;\ndata:\n";
  data_list(s, "XLAT_M", lat);
  if (geo_has_xlong) data_list(s, "XLONG_M", lon);
  s << "}\n";
  return s.str();
}

std::string Basin::route_cdl() const {
  std::ostringstream s;
  s << "netcdf route {\ndimensions:\n" << dim("linkDim", link.size())
    << "variables:\n  int link(linkDim) ;\n  int order(linkDim) ;\ndata:\n";
  data_list(s, "link", link);
  data_list(s, "order", link_order);
  s << "}\n";
  return s.str();
}

std::string Basin::overlap_cdl() const {
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
  if (!overlap_counts.empty()) counts = overlap_counts;
  std::ostringstream s;
  s << "netcdf nhd {\ndimensions:\n" << dim("polyid", ids.size()) << dim("data", ii.size())
    << "variables:\n  int polyid(polyid) ;\n  int overlaps(polyid) ;\n"
    << "  int i_index(data) ;\n  int j_index(data) ;\n  double regridweight(data) ;\ndata:\n";
  data_list(s, "polyid", ids);
  data_list(s, "overlaps", counts);
  data_list(s, "i_index", ii);
  data_list(s, "j_index", jj);
  data_list(s, "regridweight", weights);
  s << "}\n";
  return s.str();
}

void Basin::write(const std::filesystem::path& dir) const {
  rn::test::write_file(dir / "namelist.nesting", namelist());
  rn::test::write_cdl(dir / "child.nc", child.cdl(child_omit));
  rn::test::write_cdl(dir / "geo.nc", geo_cdl());
  rn::test::write_cdl(dir / "route.nc", route_cdl());
  rn::test::write_cdl(dir / "nhd.nc", overlap_cdl());
}

}  // namespace rn::linkweaver::test
