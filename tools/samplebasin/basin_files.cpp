#include "basin_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <unordered_map>

#include "atomic_output.hpp"
#include "flows.hpp"
#include "nc_out.hpp"

namespace sb {

namespace {

constexpr std::int32_t kMissing = -9999;
constexpr std::int32_t kStartMinutes = 16801 * 1440;  // 2016-01-01 00:00 UTC in minutes since 1970

std::string in(const std::string& dir, const std::string& name) { return dir + "/" + name; }

float same(float v) { return v; }

// Real-number text with a decimal point, as list input reads it.
std::string real_text(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v));
  std::string s(buf);
  if (s.find_first_of(".eE") == std::string::npos) s += ".0";
  return s;
}

void write_namelist(const std::string& path, const Basin& b) {
  rn::AtomicTextFile f(path);
  rn::TextOut& t = f.text();
  t.line("&namelist_nesting");
  t.line(" mapproject = 'LC'");
  t.line(std::string(" fulldom_child_f = '") + kChildGrid + "'");
  t.line(std::string(" fulldom_parent_f = '") + kParentGrid + "'");
  t.line(std::string(" routinelin_p_f = '") + kParentLinks + "'");
  t.line(" dxkm = " + real_text(b.frame.dx_km));
  t.line(std::string(" geo_parent_f = '") + kParentGeo + "'");
  t.line(std::string(" nhd_map_f = '") + kParentOverlap + "'");
  t.line(" flowin_out = .false.");
  t.line(" order_diff = 1");
  t.line("/");
  f.commit();
}

void projection_attributes(NcOut& nc, const Frame& f) {
  nc.att(NC_GLOBAL, "TRUELAT1", f.truelat1);
  nc.att(NC_GLOBAL, "TRUELAT2", f.truelat2);
  nc.att(NC_GLOBAL, "CEN_LAT", f.cen_lat);
  nc.att(NC_GLOBAL, "CEN_LON", f.cen_lon);
  nc.att(NC_GLOBAL, "STAND_LON", f.stand_lon);
}

void write_parent_geo(const std::string& path, const Basin& b) {
  const Surface& s = b.parent.surface;
  NcOut nc(path, NcFormat::classic);
  const int t = nc.dim("Time", 1);
  const int sn = nc.dim("south_north", static_cast<std::size_t>(s.height.ny));
  const int we = nc.dim("west_east", static_cast<std::size_t>(s.height.nx));
  const int lat = nc.var("XLAT_M", NC_FLOAT, {t, sn, we});
  nc.att(lat, "units", "degrees_north");
  const int lon = nc.var("XLONG_M", NC_FLOAT, {t, sn, we});
  nc.att(lon, "units", "degrees_east");
  const int hgt = nc.var("HGT_M", NC_FLOAT, {t, sn, we});
  nc.att(hgt, "units", "m");
  const int mask = nc.var("LANDMASK", NC_FLOAT, {t, sn, we});
  nc.att(mask, "description", "1 land, 0 water");
  nc.att(NC_GLOBAL, "title", "sample basin: parent model grid");
  projection_attributes(nc, b.frame);
  nc.att(NC_GLOBAL, "DX_KM", b.frame.dx_km);
  nc.enddef();
  nc.put_grid(lat, b.parent_lat, false, same);
  nc.put_grid(lon, b.parent_lon, false, same);
  nc.put_grid(hgt, s.height, false, same);
  nc.put_grid(mask, s.water, false, [](std::uint8_t w) { return w == kLand ? 1.0f : 0.0f; });
  nc.commit();
}

// A routing grid in the layout of the routing files: rows north to south,
// x and y projected coordinates in metres from the parent grid centre.
struct RoutingView {
  const Grid<std::uint8_t>& channel;
  const Grid<std::uint8_t>& dir;
  const Grid<std::uint8_t>& order;
  const Grid<float>& lat;
  const Grid<float>& lon;
  double x_first_m;  // centre of column 0
  double y_first_m;  // centre of row 0 (the southern row)
  double cell_m;
  const char* title;
};

void write_routing_grid(const std::string& path, const RoutingView& v, const Frame& f) {
  const int nx = v.dir.nx, ny = v.dir.ny;
  NcOut nc(path, NcFormat::classic);
  const int x = nc.dim("x", static_cast<std::size_t>(nx));
  const int y = nc.dim("y", static_cast<std::size_t>(ny));
  const int xv = nc.var("x", NC_DOUBLE, {x});
  nc.att(xv, "units", "m");
  const int yv = nc.var("y", NC_DOUBLE, {y});
  nc.att(yv, "units", "m");
  const int cg = nc.var("CHANNELGRID", NC_INT, {y, x});
  nc.att(cg, "description", "0 on channel cells, -9999 elsewhere");
  const int fd = nc.var("FLOWDIRECTION", NC_INT, {y, x});
  nc.att(fd, "description", "1 E, 2 SE, 4 S, 8 SW, 16 W, 32 NW, 64 N, 128 NE");
  const int so = nc.var("STREAMORDER", NC_INT, {y, x});
  const int la = nc.var("LATITUDE", NC_FLOAT, {y, x});
  nc.att(la, "units", "degrees_north");
  const int lo = nc.var("LONGITUDE", NC_FLOAT, {y, x});
  nc.att(lo, "units", "degrees_east");
  nc.att(NC_GLOBAL, "title", v.title);
  nc.att(NC_GLOBAL, "rows", "stored from north to south");
  projection_attributes(nc, f);
  nc.enddef();
  std::vector<double> xs(static_cast<std::size_t>(nx)), ys(static_cast<std::size_t>(ny));
  for (int i = 0; i < nx; ++i) xs[static_cast<std::size_t>(i)] = v.x_first_m + i * v.cell_m;
  for (int r = 0; r < ny; ++r) ys[static_cast<std::size_t>(r)] = v.y_first_m + (ny - 1 - r) * v.cell_m;
  nc.put(xv, xs);
  nc.put(yv, ys);
  Grid<std::int32_t> merged(nx, ny, 0);
  for (std::size_t k = 0; k < merged.size(); ++k) merged[k] = v.channel[k] ? 0 : kMissing;
  nc.put_grid(cg, merged, true, [](std::int32_t c) { return c; });
  nc.put_grid(fd, v.dir, true, [](std::uint8_t d) { return flow_code(d); });
  for (std::size_t k = 0; k < merged.size(); ++k) merged[k] = v.channel[k] ? v.order[k] : kMissing;
  nc.put_grid(so, merged, true, [](std::int32_t c) { return c; });
  nc.put_grid(la, v.lat, true, same);
  nc.put_grid(lo, v.lon, true, same);
  nc.commit();
}

double centre_x_m(const Basin& b, double parent_x) {
  return (parent_x - 0.5 * (b.preset.parent_nx + 1)) * b.frame.dx_km * 1000.0;
}
double centre_y_m(const Basin& b, double parent_y) {
  return (parent_y - 0.5 * (b.preset.parent_ny + 1)) * b.frame.dx_km * 1000.0;
}

void write_parent_grid(const std::string& path, const Basin& b) {
  const ParentNetwork& p = b.parent;
  Grid<std::uint8_t> order(p.acc.nx, p.acc.ny, 0);
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (p.channel[k]) order[k] = p.links[static_cast<std::size_t>(p.catchment[k])].order;
  }
  write_routing_grid(path, {p.channel, p.surface.dir, order, b.parent_lat, b.parent_lon,
                            centre_x_m(b, 1.0), centre_y_m(b, 1.0), b.frame.dx_km * 1000.0,
                            "sample basin: parent routing grid"},
                     b.frame);
}

void write_child_grid(const std::string& path, const Basin& b) {
  const ChildGrid& c = b.child;
  const int r = b.preset.refine;
  write_routing_grid(path, {c.channel, c.dir, c.order, c.lat, c.lon,
                            centre_x_m(b, child_to_parent(b.window.i0, 0, r)),
                            centre_y_m(b, child_to_parent(b.window.j0, 0, r)),
                            b.frame.dx_km * 1000.0 / r, "sample basin: child routing grid"},
                     b.frame);
}

void write_terrain(const std::string& path, const Basin& b) {
  const ChildGrid& c = b.child;
  NcOut nc(path, NcFormat::classic);
  const int sn = nc.dim("south_north", static_cast<std::size_t>(c.height.ny));
  const int we = nc.dim("west_east", static_cast<std::size_t>(c.height.nx));
  const int hgt = nc.var("HGT_M", NC_FLOAT, {sn, we});
  nc.att(hgt, "units", "m");
  const int mask = nc.var("LANDMASK", NC_FLOAT, {sn, we});
  nc.att(mask, "description", "1 land, 0 water (sea and lakes)");
  nc.att(NC_GLOBAL, "title", "sample basin: child terrain, closed depressions left in place");
  nc.enddef();
  nc.put_grid(hgt, c.height, false, same);
  nc.put_grid(mask, c.water, false, [](std::uint8_t w) { return w == kLand ? 1.0f : 0.0f; });
  nc.commit();
}

void write_route_links(const std::string& path, const Basin& b) {
  const ParentNetwork& p = b.parent;
  const std::vector<std::int32_t> entries = route_link_entries(p);
  const std::size_t n = entries.size();
  std::vector<std::int32_t> id(n), order(n), to(n);
  std::vector<float> lat(n), lon(n);
  for (std::size_t e = 0; e < n; ++e) {
    const Link& l = p.links[static_cast<std::size_t>(entries[e])];
    id[e] = l.id;
    order[e] = l.order;
    to[e] = l.to >= 0 ? p.links[static_cast<std::size_t>(l.to)].id : 0;
    lat[e] = b.parent_lat[static_cast<std::size_t>(l.outlet)];
    lon[e] = b.parent_lon[static_cast<std::size_t>(l.outlet)];
  }
  NcOut nc(path, NcFormat::classic);
  const int d = nc.dim("linkDim", n);
  const int vl = nc.var("link", NC_INT, {d});
  const int vo = nc.var("order", NC_INT, {d});
  const int vt = nc.var("to", NC_INT, {d});
  nc.att(vt, "description", "link downstream, 0 at the sea or the grid edge");
  const int va = nc.var("lat", NC_FLOAT, {d});
  const int vn = nc.var("lon", NC_FLOAT, {d});
  nc.att(NC_GLOBAL, "title", "sample basin: parent route links");
  nc.enddef();
  nc.put(vl, id);
  nc.put(vo, order);
  nc.put(vt, to);
  nc.put(va, lat);
  nc.put(vn, lon);
  nc.commit();
}

void write_overlaps(const std::string& path, const Basin& b) {
  const ParentNetwork& p = b.parent;
  const std::size_t np = p.links.size(), nd = p.overlaps.size();
  const auto nx = static_cast<std::size_t>(p.acc.nx);
  NcOut nc(path, NcFormat::classic);
  const int dp = nc.dim("polyid", np);
  const int dd = nc.dim("data", nd);
  const int vp = nc.var("polyid", NC_INT, {dp});
  const int vo = nc.var("overlaps", NC_INT, {dp});
  const int vi = nc.var("i_index", NC_INT, {dd});
  const int vj = nc.var("j_index", NC_INT, {dd});
  const int vw = nc.var("regridweight", NC_DOUBLE, {dd});
  nc.att(vw, "description", "share of the polygon's area in the cell; the shares of a polygon add up to 1");
  nc.att(NC_GLOBAL, "title", "sample basin: parent link polygons over the parent grid");
  nc.enddef();
  {
    std::vector<std::int32_t> ids(np), counts(np);
    for (std::size_t l = 0; l < np; ++l) {
      ids[l] = p.links[l].id;
      counts[l] = static_cast<std::int32_t>(p.first[l + 1] - p.first[l]);
    }
    nc.put(vp, ids);
    nc.put(vo, counts);
  }
  {
    std::vector<std::int32_t> index(nd);
    for (std::size_t r = 0; r < nd; ++r) index[r] = static_cast<std::int32_t>(static_cast<std::size_t>(p.overlaps[r].cell) % nx) + 1;
    nc.put(vi, index);
    for (std::size_t r = 0; r < nd; ++r) index[r] = static_cast<std::int32_t>(static_cast<std::size_t>(p.overlaps[r].cell) / nx) + 1;
    nc.put(vj, index);
  }
  {
    std::vector<double> w(nd);
    for (std::size_t r = 0; r < nd; ++r) w[r] = p.overlaps[r].weight;
    nc.put(vw, w);
  }
  nc.commit();
}

void time_variable(NcOut& nc, int hour, int& dim, int& var) {
  dim = nc.dim("time", 1);
  var = nc.var("time", NC_INT, {dim});
  nc.att(var, "units", "minutes since 1970-01-01 00:00:00 UTC");
  nc.att(NC_GLOBAL, "valid_time", hour_label(hour));
}

// One hour of parent channel output holds a few missing values, as real
// outputs do now and then: the channel cells that feed the first few child
// boundary nodes, and their links, have none.  The outputs by link declare
// their fill value; those by channel cell declare none and hold the netCDF
// default fill there, as a value never written does.
constexpr int kGapHour = 1;
constexpr std::size_t kGapNodes = 2;
constexpr std::int32_t kPackedFill = -999900;  // with scale_factor 0.01
constexpr float kPointFill = NC_FILL_FLOAT;

std::vector<std::size_t> gap_cells(const Basin& b, int hour) {
  std::vector<std::size_t> cells;
  if (hour != kGapHour) return cells;
  for (std::size_t k = 0; k < std::min(kGapNodes, b.nodes.size()); ++k) {
    cells.push_back(feeding_channel(b, b.nodes[k].i, b.nodes[k].j));
  }
  return cells;
}

void write_reach_output(const std::string& path, const Basin& b, const FlowModel& flow, int hour) {
  const ParentNetwork& p = b.parent;
  const std::vector<std::int32_t> entries = route_link_entries(p);
  const std::size_t n = entries.size();
  std::vector<std::int32_t> gap_links;
  for (std::size_t cell : gap_cells(b, hour)) gap_links.push_back(p.catchment[cell]);
  std::vector<std::int32_t> id(n), packed(n);
  for (std::size_t e = 0; e < n; ++e) {
    const Link& l = p.links[static_cast<std::size_t>(entries[e])];
    id[e] = l.id;
    const float q = flow.streamflow(p.acc[static_cast<std::size_t>(l.outlet)], hour);
    packed[e] = static_cast<std::int32_t>(std::lround(static_cast<double>(q) * 100.0));
    if (std::find(gap_links.begin(), gap_links.end(), entries[e]) != gap_links.end()) {
      packed[e] = kPackedFill;
    }
  }
  NcOut nc(path, NcFormat::compressed);
  int td = 0, tv = 0;
  time_variable(nc, hour, td, tv);
  const int d = nc.dim("feature_id", n);
  const int vf = nc.var("feature_id", NC_INT, {d});
  nc.att(vf, "long_name", "parent link identifier");
  const int vq = nc.var("streamflow", NC_INT, {d});
  nc.att(vq, "long_name", "river flow");
  nc.att(vq, "units", "m3 s-1");
  nc.att(vq, "_FillValue", kPackedFill);
  nc.att(vq, "scale_factor", 0.01f);
  nc.att(vq, "add_offset", 0.0f);
  nc.att(NC_GLOBAL, "title", "sample basin: parent channel output by link");
  nc.enddef();
  const std::int32_t minutes = kStartMinutes + 60 * hour;
  nc.put(tv, std::span<const std::int32_t>(&minutes, 1));
  nc.put(vf, id);
  nc.put(vq, packed);
  nc.commit();
}

// The columns that every file of parent channel points carries: position,
// stream order and parent grid cell of each point.
struct PointColumns {
  int lat = -1, lon = -1, order = -1, column = -1, row = -1;
};

PointColumns define_point_columns(NcOut& nc, int dim, const char* lat_name, const char* lon_name) {
  PointColumns c;
  c.lat = nc.var(lat_name, NC_FLOAT, {dim});
  nc.att(c.lat, "units", "degrees_north");
  c.lon = nc.var(lon_name, NC_FLOAT, {dim});
  nc.att(c.lon, "units", "degrees_east");
  c.order = nc.var("order", NC_INT, {dim});
  c.column = nc.var("chanxi", NC_INT, {dim});
  nc.att(c.column, "description", "parent grid column, 1 in the west");
  c.row = nc.var("chanyj", NC_INT, {dim});
  nc.att(c.row, "description", "parent grid row, 1 in the south");
  return c;
}

// `value` of every parent channel point, in record order.
template <typename T, typename Value>
std::vector<T> per_point(const Basin& b, Value value) {
  std::vector<T> v(b.points.size());
  for (std::size_t r = 0; r < v.size(); ++r) v[r] = value(static_cast<std::size_t>(b.points[r]));
  return v;
}

void put_point_columns(NcOut& nc, const Basin& b, const PointColumns& c) {
  const ParentNetwork& p = b.parent;
  const auto nx = static_cast<std::size_t>(p.acc.nx);
  nc.put(c.lat, per_point<float>(b, [&](std::size_t k) { return b.parent_lat[k]; }));
  nc.put(c.lon, per_point<float>(b, [&](std::size_t k) { return b.parent_lon[k]; }));
  nc.put(c.order, per_point<std::int32_t>(b, [&](std::size_t k) {
           return static_cast<std::int32_t>(p.links[static_cast<std::size_t>(p.catchment[k])].order);
         }));
  nc.put(c.column, per_point<std::int32_t>(b, [&](std::size_t k) { return static_cast<std::int32_t>(k % nx) + 1; }));
  nc.put(c.row, per_point<std::int32_t>(b, [&](std::size_t k) { return static_cast<std::int32_t>(k / nx) + 1; }));
}

void write_point_output(const std::string& path, const Basin& b, const FlowModel& flow, int hour) {
  const ParentNetwork& p = b.parent;
  NcOut nc(path, NcFormat::compressed);
  int td = 0, tv = 0;
  time_variable(nc, hour, td, tv);
  const int d = nc.dim("recNum", b.points.size());
  const int vq = nc.var("streamflow", NC_FLOAT, {d});
  nc.att(vq, "units", "m3 s-1");
  const int vm = nc.var("acc_streamflowMax", NC_FLOAT, {d});
  nc.att(vm, "units", "m3 s-1");
  const PointColumns columns = define_point_columns(nc, d, "latitude", "longitude");
  nc.att(NC_GLOBAL, "title", "sample basin: parent channel output by channel cell");
  nc.enddef();
  const std::int32_t minutes = kStartMinutes + 60 * hour;
  nc.put(tv, std::span<const std::int32_t>(&minutes, 1));
  const std::vector<std::size_t> gaps = gap_cells(b, hour);
  nc.put(vq, per_point<float>(b, [&](std::size_t k) {
           const bool gap = std::find(gaps.begin(), gaps.end(), k) != gaps.end();
           return gap ? kPointFill : flow.streamflow(p.acc[k], hour);
         }));
  nc.put(vm, per_point<float>(b, [&](std::size_t k) { return flow.peak(p.acc[k]); }));
  put_point_columns(nc, b, columns);
  nc.commit();
}

void write_segment_info(const std::string& path, const Basin& b) {
  NcOut nc(path, NcFormat::classic);
  const int d = nc.dim("n", b.points.size());
  const PointColumns columns = define_point_columns(nc, d, "chlat", "chlon");
  nc.att(NC_GLOBAL, "title", "sample basin: parent channel segment points");
  nc.enddef();
  put_point_columns(nc, b, columns);
  nc.commit();
}

// The per-node mapping: each child boundary node takes the record of the
// parent channel cell that feeds it; nodes that share a record share its
// flow in proportion to their own accumulation.
void write_cell_mapping(const std::string& path, const Basin& b) {
  const std::size_t n = b.nodes.size();
  std::vector<std::int32_t> ci(n), cj(n), index(n);
  std::vector<float> weight(n);
  std::vector<double> acc(n);
  for (std::size_t k = 0; k < n; ++k) {
    const BoundaryNode& node = b.nodes[k];
    ci[k] = node.i + 1;
    cj[k] = node.j + 1;
    index[k] = record_of(b, feeding_channel(b, node.i, node.j));
    acc[k] = b.child.acc.at(node.i, node.j);
  }
  std::unordered_map<std::int32_t, double> total;
  for (std::size_t k = 0; k < n; ++k) total[index[k]] += acc[k];
  for (std::size_t k = 0; k < n; ++k) weight[k] = static_cast<float>(acc[k] / total[index[k]]);
  NcOut nc(path, NcFormat::classic);
  const int d = nc.dim("childNodeNum", n);
  const int vw = nc.var("weight", NC_FLOAT, {d});
  const int vi = nc.var("ci_grid", NC_INT, {d});
  const int vj = nc.var("cj_grid", NC_INT, {d});
  nc.att(vj, "description", "child grid row, 1 in the south");
  const int vf = nc.var("fcstIndex", NC_INT, {d});
  nc.att(vf, "description", "record of the parent channel output that feeds the node, 1-based");
  nc.att(NC_GLOBAL, "title", "sample basin: child boundary nodes and their parent records");
  nc.enddef();
  nc.put(vw, weight);
  nc.put(vi, ci);
  nc.put(vj, cj);
  nc.put(vf, index);
  nc.commit();
}

void write_station_list(const std::string& path, const Basin& b) {
  rn::AtomicTextFile f(path);
  const auto nx = static_cast<std::size_t>(b.parent.acc.nx);
  char buf[256];
  for (const Gauge& g : b.gauges) {
    const auto c = static_cast<std::size_t>(g.cell);
    const bool quote = g.name.find_first_of(" ,/") != std::string::npos;
    std::snprintf(buf, sizeof buf, "%.5f %.5f %s%s%s %d %d %d", static_cast<double>(b.parent_lat[c]),
                  static_cast<double>(b.parent_lon[c]), quote ? "'" : "", g.name.c_str(), quote ? "'" : "",
                  g.number, static_cast<int>(c % nx) + 1, static_cast<int>(c / nx) + 1);
    f.text().line(buf);
  }
  f.commit();
}

}  // namespace

std::string hour_label(int k) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.8s%02d", kStartHour, k % 24);
  return buf;
}

std::string reach_output(int hour) { return "channel/reach_" + hour_label(hour) + ".nc"; }
std::string point_output(int hour) { return "channel/points_" + hour_label(hour) + ".nc"; }

std::vector<std::string> basin_folders() { return {"parent", "child", "channel", "cellfeed"}; }

void write_basin_files(const Basin& b, const std::string& dir, void (*progress)(const char*)) {
  auto stage = [&](const char* what) {
    if (progress != nullptr) progress(what);
  };
  write_namelist(in(dir, kNamelist), b);
  write_parent_geo(in(dir, kParentGeo), b);
  write_parent_grid(in(dir, kParentGrid), b);
  write_route_links(in(dir, kParentLinks), b);
  write_overlaps(in(dir, kParentOverlap), b);
  stage("parent files");
  write_child_grid(in(dir, kChildGrid), b);
  write_terrain(in(dir, kTerrain), b);
  write_cell_mapping(in(dir, kCellMapping), b);
  stage("child files");
  std::int64_t largest = 1;
  for (std::int32_t c : b.points) largest = std::max<std::int64_t>(largest, b.parent.acc[static_cast<std::size_t>(c)]);
  const FlowModel flow(largest);
  for (int h = 0; h < b.preset.channel_hours; ++h) {
    write_reach_output(in(dir, reach_output(h)), b, flow, h);
    write_point_output(in(dir, point_output(h)), b, flow, h);
  }
  write_segment_info(in(dir, kSegmentInfo), b);
  write_station_list(in(dir, kStationList), b);
  stage("channel files");
}

}  // namespace sb
