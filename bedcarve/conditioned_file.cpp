#include "conditioned_file.hpp"

#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <span>
#include <sstream>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "cf_metadata.hpp"
#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "nc_writer.hpp"
#include "program_end.hpp"

namespace rn::bedcarve {
namespace {

constexpr char kTitle[] = "terrain heights with closed depressions filled";
// Rows of LANDMASK copied at a time: a few megabytes of values.
constexpr std::size_t kCopyValues = std::size_t{1} << 22;

// The smallest format of the classic family that holds the file: HGT_M
// comes first and LANDMASK (same size or a little smaller) after it, so
// LANDMASK begins past HGT_M.  Classic offsets end at 2 GiB; 64-bit offsets
// let a variable that is not the last reach 4 GiB; beyond that, 64-bit data.
// A small grid keeps the classic format, and its bytes.
NcFormat conditioned_format(std::size_t cells) {
  // Room for the header: the copied attributes of the input, with margin.
  constexpr std::uint64_t kHeaderRoom = std::uint64_t{1} << 24;
  const std::uint64_t heights = std::uint64_t{4} * cells;
  if (heights + kHeaderRoom < (std::uint64_t{1} << 31)) return NcFormat::classic;
  if (heights + kHeaderRoom < (std::uint64_t{1} << 32)) return NcFormat::offset64;
  return NcFormat::data64;
}

// The attributes that this run writes itself.
bool own_global(std::string_view name) {
  return name == "Conventions" || name == "title" || name == "source" || name == "history";
}

// True when every value is one that `type` (NC_INT or NC_FLOAT) holds:
// an integer within range, or a real within the float range (infinities and
// NaN included).  A fill value that the output's type cannot hold would mark
// other cells missing than the input's did.
bool held_by(nc_type type, const std::vector<double>& values) {
  return std::all_of(values.begin(), values.end(), [&](double v) {
    if (type == NC_DOUBLE) return true;
    if (type == NC_FLOAT) return !std::isfinite(v) || std::fabs(v) <= std::numeric_limits<float>::max();
    return std::isfinite(v) && v == std::trunc(v) &&
           v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
  });
}

// Copies the attributes of the classic types of variable `from` (or the
// file, NC_GLOBAL) of `in` to `to` of `out`, except those `skip` names.
// Attributes of the value-typed kind (_FillValue, missing_value, valid_*)
// are written in `value_type`, the output variable's type, which the
// library requires of a _FillValue; one whose values that type cannot hold
// is left out.
template <typename Skip>
void copy_attributes(const NcFile& in, int from, NcWriter& out, int to, nc_type value_type,
                     Skip skip) {
  int count = 0;
  if (nc_inq_varnatts(in.ncid(), from, &count) != NC_NOERR) return;
  for (int a = 0; a < count; ++a) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_attname(in.ncid(), from, a, name) != NC_NOERR ||
        nc_inq_att(in.ncid(), from, name, &type, &length) != NC_NOERR || skip(name) ||
        type < NC_BYTE || type > NC_DOUBLE) {
      continue;
    }
    const std::string_view n(name);
    const bool typed = n == "_FillValue" || n == "missing_value" || n.starts_with("valid_");
    if (typed && type != value_type && type != NC_CHAR && value_type != NC_CHAR &&
        to != kGlobalAttributes) {
      std::vector<double> values(length);
      if (nc_get_att_double(in.ncid(), from, name, values.data()) != NC_NOERR ||
          !held_by(value_type, values)) {
        continue;
      }
      if (value_type == NC_DOUBLE) {
        if (nc_put_att_double(out.ncid(), to, name, NC_DOUBLE, values.size(), values.data()) !=
            NC_NOERR) {
          continue;
        }
      } else if (value_type == NC_FLOAT) {
        std::vector<float> v(values.begin(), values.end());
        if (nc_put_att_float(out.ncid(), to, name, NC_FLOAT, v.size(), v.data()) != NC_NOERR) {
          continue;
        }
      } else {
        std::vector<int> v(values.begin(), values.end());
        if (nc_put_att_int(out.ncid(), to, name, NC_INT, v.size(), v.data()) != NC_NOERR) {
          continue;
        }
      }
      continue;
    }
    nc_copy_att(in.ncid(), from, name, out.ncid(), to);
  }
}

bool has_att(NcWriter& out, int varid, const char* name) {
  return nc_inq_attid(out.ncid(), varid, name, nullptr) == NC_NOERR;
}

// Copies LANDMASK of `in` (a gridded variable, any leading dimensions of
// length 1) to `to` of `out` in blocks of rows.
template <typename T>
void copy_mask(const NcFile& in, int from, NcWriter& out, int to, std::size_t columns,
               std::size_t rows) {
  const std::size_t block = std::max<std::size_t>(1, kCopyValues / std::max<std::size_t>(columns, 1));
  std::vector<T> values;
  for (std::size_t first = 0; first < rows; first += block) {
    const std::size_t count = std::min(block, rows - first);
    values.resize(count * columns);
    const int status = in.read_rows(from, first, count, std::span<T>(values));
    if (status != NC_NOERR) handle_err(status);
    const std::array<std::size_t, 2> start{first, 0};
    const std::array<std::size_t, 2> shape{count, columns};
    out.put_slab(to, start, shape, std::span<const T>(values));
  }
}

// ---- the variables that locate the grid ----

// A variable of the input that locates the grid, and how it is written.
struct LocatingVariable {
  int id = -1;           // in the input
  std::string name;
  nc_type type = NC_NAT;
  NcVarType out_type = NcVarType::real64;
  std::vector<std::size_t> shape;  // input shape
  bool gridded = false;  // rows and columns behind leading dimensions of length 1
};

// Blank-separated names (a `coordinates` attribute), or the name before
// the first ':' of a `grid_mapping` attribute in its extended form.
std::vector<std::string> names_in(const std::string& text, bool mapping) {
  std::vector<std::string> names;
  std::istringstream words(text);
  for (std::string w; words >> w;) {
    if (mapping) {
      const std::size_t colon = w.find(':');
      if (colon != std::string::npos) w.erase(colon);
      if (!w.empty()) names.push_back(w);
      break;
    }
    names.push_back(w);
  }
  return names;
}

// The input's coordinate variables of the grid's two dimensions, the
// variables named by `coordinates` (else XLAT_M and XLONG_M) and by
// `grid_mapping` of its height variable, in that order, each once; only
// those the classic format can hold and that hold values.
std::vector<LocatingVariable> locating_variables(const NcFile& in, int height, int mask) {
  std::vector<std::string> wanted = {"west_east", "south_north"};
  std::string text;
  std::vector<std::string> coordinates;
  if (height >= 0 && in.att_text(height, "coordinates", text) == NC_NOERR) {
    coordinates = names_in(text, false);
  }
  if (coordinates.empty()) coordinates = {"XLAT_M", "XLONG_M"};
  wanted.insert(wanted.end(), coordinates.begin(), coordinates.end());
  if (height >= 0 && in.att_text(height, "grid_mapping", text) == NC_NOERR) {
    const auto mapping = names_in(text, true);
    wanted.insert(wanted.end(), mapping.begin(), mapping.end());
  }
  std::vector<LocatingVariable> found;
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    LocatingVariable v;
    v.name = wanted[k];
    if (in.var_id(v.name, v.id) != NC_NOERR || v.id == height || v.id == mask) continue;
    if (std::any_of(found.begin(), found.end(), [&](const LocatingVariable& f) { return f.id == v.id; })) {
      continue;
    }
    std::vector<int> dims;
    std::size_t count = 0;
    if (in.var_type(v.id, v.type) != NC_NOERR || in.var_shape(v.id, v.shape) != NC_NOERR ||
        in.var_dims(v.id, dims) != NC_NOERR || in.var_count(v.id, count) != NC_NOERR ||
        count == 0) {
      continue;
    }
    // A coordinate variable is one over its own dimension alone.
    if (k < 2) {
      char dim[NC_MAX_NAME + 1] = {};
      if (dims.size() != 1 || nc_inq_dimname(in.ncid(), dims[0], dim) != NC_NOERR ||
          v.name != dim) {
        continue;
      }
    }
    switch (v.type) {
      case NC_BYTE: case NC_SHORT: case NC_INT: v.out_type = NcVarType::int32; break;
      case NC_FLOAT: v.out_type = NcVarType::real32; break;
      case NC_DOUBLE: v.out_type = NcVarType::real64; break;
      case NC_CHAR: v.out_type = NcVarType::text; break;
      default: continue;  // types the classic format cannot hold
    }
    v.gridded = v.out_type != NcVarType::text && v.shape.size() >= 2 &&
                std::all_of(v.shape.begin(), v.shape.end() - 2, [](std::size_t n) { return n == 1; });
    found.push_back(std::move(v));
  }
  return found;
}

// Defines `v` in the output: over the output's grid dimensions where it
// uses `west_east` or `south_north`, over dimensions of the same name and
// length otherwise (defined once), leading dimensions of length 1 of a
// gridded variable dropped.  Returns its id.
int define_locating(const NcFile& in, const LocatingVariable& v, NcWriter& nc,
                    std::vector<std::pair<std::string, int>>& dims) {
  std::vector<int> in_dims;
  in.var_dims(v.id, in_dims);
  std::vector<int> out_dims;
  const std::size_t first = v.gridded ? in_dims.size() - 2 : 0;
  for (std::size_t k = first; k < in_dims.size(); ++k) {
    char name[NC_MAX_NAME + 1] = {};
    nc_inq_dimname(in.ncid(), in_dims[k], name);
    const auto known = std::find_if(dims.begin(), dims.end(),
                                    [&](const auto& d) { return d.first == name; });
    if (known != dims.end()) {
      out_dims.push_back(known->second);
    } else {
      dims.emplace_back(name, nc.def_dim(name, v.shape[k]));
      out_dims.push_back(dims.back().second);
    }
  }
  return nc.def_var(v.name, v.out_type, std::span<const int>(out_dims));
}

// Copies the values of `v` as T: a gridded variable in blocks of rows, any
// other whole.
template <typename T>
void copy_locating_values(const NcFile& in, const LocatingVariable& v, NcWriter& nc, int to) {
  if (!v.gridded) {
    std::size_t count = 0;
    in.var_count(v.id, count);
    std::vector<T> values(count);
    int status = NC_NOERR;
    if constexpr (std::is_same_v<T, char>) {
      status = in.read_stored(v.id, std::as_writable_bytes(std::span<char>(values)));
    } else {
      status = in.read(v.id, std::span<T>(values));
    }
    if (status != NC_NOERR) handle_err(status);
    nc.put(to, std::span<const T>(values));
    return;
  }
  if constexpr (!std::is_same_v<T, char>) {
    const std::size_t rank = v.shape.size();
    const std::size_t rows = v.shape[rank - 2], columns = std::max<std::size_t>(v.shape[rank - 1], 1);
    const std::size_t block = std::max<std::size_t>(1, kCopyValues / columns);
    std::vector<std::size_t> start(rank, 0), count(rank, 1);
    count[rank - 1] = v.shape[rank - 1];
    std::vector<T> values;
    for (std::size_t first = 0; first < rows; first += block) {
      start[rank - 2] = first;
      count[rank - 2] = std::min(block, rows - first);
      values.resize(count[rank - 2] * count[rank - 1]);
      const int status = in.read_slab(v.id, start, count, std::span<T>(values));
      if (status != NC_NOERR) handle_err(status);
      const std::array<std::size_t, 2> out_start{first, 0};
      const std::array<std::size_t, 2> out_count{count[rank - 2], count[rank - 1]};
      nc.put_slab(to, out_start, out_count, std::span<const T>(values));
    }
  }
}

void copy_locating(const NcFile& in, const LocatingVariable& v, NcWriter& nc, int to) {
  switch (v.out_type) {
    case NcVarType::int32: copy_locating_values<std::int32_t>(in, v, nc, to); break;
    case NcVarType::real32: copy_locating_values<float>(in, v, nc, to); break;
    case NcVarType::real64: copy_locating_values<double>(in, v, nc, to); break;
    case NcVarType::text: copy_locating_values<char>(in, v, nc, to); break;
  }
}

nc_type nc_type_of(NcVarType t) {
  switch (t) {
    case NcVarType::int32: return NC_INT;
    case NcVarType::real32: return NC_FLOAT;
    case NcVarType::real64: return NC_DOUBLE;
    case NcVarType::text: return NC_CHAR;
  }
  return NC_NAT;
}

// The transform as the raster library writes and reads it: six numbers,
// each with the digits that give back its bits.
std::string transform_text(const std::array<double, 6>& t) {
  std::string text;
  for (double v : t) {
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", v);
    if (!text.empty()) text += ' ';
    text += number;
  }
  return text;
}

}  // namespace

// Contract: the input was read by this run (it opens, and holds LANDMASK
// and HGT_M or HGT_M_M over the grid of `height`).  Cost: one pass over the
// heights and one over the input's LANDMASK, in blocks of rows.
void write_conditioned(const std::string& file, const Grid2D<float>& height,
                       const std::string& input) {
  NcFile in;
  if (const int status = in.open(input); status != NC_NOERR) handle_err(status);
  int in_height = -1;
  int in_mask = -1;
  if (in.var_id("HGT_M", in_height) != NC_NOERR) in.var_id("HGT_M_M", in_height);
  if (const int status = in.var_id("LANDMASK", in_mask); status != NC_NOERR) handle_err(status);
  nc_type mask_type = NC_INT;
  in.var_type(in_mask, mask_type);
  const bool real_mask = mask_type == NC_FLOAT || mask_type == NC_DOUBLE;

  NcWriter nc(file, kIoChunkBytes, CreateFailure::failure_status,
              conditioned_format(height.values().size()));
  const int we = nc.def_dim("west_east", height.columns());
  const int sn = nc.def_dim("south_north", height.rows());
  const int hgt = nc.def_var("HGT_M", NcVarType::real32, {sn, we});
  const int mask = nc.def_var("LANDMASK", real_mask ? NcVarType::real32 : NcVarType::int32, {sn, we});
  copy_attributes(in, NC_GLOBAL, nc, kGlobalAttributes, NC_NAT, own_global);
  std::string history;
  in.att_text(NC_GLOBAL, "history", history);
  put_cf_globals(nc, kTitle, history);
  const auto none = [](std::string_view) { return false; };
  if (in_height >= 0) copy_attributes(in, in_height, nc, hgt, NC_FLOAT, none);
  if (!has_att(nc, hgt, "long_name")) nc.put_att(hgt, "long_name", "terrain height");
  if (!has_att(nc, hgt, "units")) nc.put_att(hgt, "units", "m");
  copy_attributes(in, in_mask, nc, mask, real_mask ? NC_FLOAT : NC_INT, none);
  if (!has_att(nc, mask, "long_name")) nc.put_att(mask, "long_name", "land mask, 0 on water");
  const std::vector<LocatingVariable> locating = locating_variables(in, in_height, in_mask);
  std::vector<std::pair<std::string, int>> dims = {{"west_east", we}, {"south_north", sn}};
  std::vector<int> locating_ids;
  for (const LocatingVariable& v : locating) {
    locating_ids.push_back(define_locating(in, v, nc, dims));
    copy_attributes(in, v.id, nc, locating_ids.back(), nc_type_of(v.out_type), none);
  }
  nc.enddef();
  nc.put(hgt, height.values());
  if (real_mask) {
    copy_mask<float>(in, in_mask, nc, mask, height.columns(), height.rows());
  } else {
    copy_mask<std::int32_t>(in, in_mask, nc, mask, height.columns(), height.rows());
  }
  for (std::size_t k = 0; k < locating.size(); ++k) copy_locating(in, locating[k], nc, locating_ids[k]);
  nc.commit();
}

}  // namespace rn::bedcarve

namespace rn::bedcarve {

// Contract: `water` has the shape of `height` and marks its no-data cells.
// Cost: one pass over the heights and one over the bits, in blocks of rows.
void write_raster_conditioned(const std::string& file, const Grid2D<float>& height,
                              const CellBits& water, const RasterFrame& frame) {
  NcWriter nc(file, kIoChunkBytes, CreateFailure::failure_status,
              conditioned_format(height.values().size()));
  const int we = nc.def_dim("west_east", height.columns());
  const int sn = nc.def_dim("south_north", height.rows());
  const int hgt = nc.def_var("HGT_M", NcVarType::real32, {sn, we});
  const int mask = nc.def_var("LANDMASK", NcVarType::int32, {sn, we});
  const bool coordinates = frame.axis_aligned();
  const bool mapping = frame.has_transform || !frame.crs_wkt.empty();
  const int x = coordinates ? nc.def_var("west_east", NcVarType::real64, {we}) : -1;
  const int y = coordinates ? nc.def_var("south_north", NcVarType::real64, {sn}) : -1;
  const int crs = mapping ? nc.def_var("crs", NcVarType::text, {}) : -1;
  put_cf_globals(nc, kTitle);
  nc.put_att(hgt, "long_name", "terrain height");
  nc.put_att(hgt, "units", frame.height_units.empty() ? "m" : frame.height_units.c_str());
  if (frame.has_nodata) nc.put_att(hgt, "_FillValue", static_cast<float>(frame.nodata));
  if (mapping) nc.put_att(hgt, "grid_mapping", "crs");
  nc.put_att(mask, "long_name", "land mask, 0 on water");
  nc.put_att(mask, "comment", "0 where the raster holds no height");
  if (coordinates) {
    const bool geo = frame.geographic;
    const std::string units = frame.linear_units.empty() ? "m" : frame.linear_units;
    nc.put_att(x, "standard_name", geo ? "longitude" : "projection_x_coordinate");
    nc.put_att(x, "long_name", geo ? "longitude of the cell centres" : "x coordinate of the cell centres");
    nc.put_att(x, "units", geo ? "degrees_east" : units.c_str());
    nc.put_att(x, "axis", "X");
    nc.put_att(y, "standard_name", geo ? "latitude" : "projection_y_coordinate");
    nc.put_att(y, "long_name", geo ? "latitude of the cell centres" : "y coordinate of the cell centres");
    nc.put_att(y, "units", geo ? "degrees_north" : units.c_str());
    nc.put_att(y, "axis", "Y");
  }
  if (mapping) {
    nc.put_att(crs, "long_name", "coordinate system");
    if (!frame.crs_wkt.empty()) {
      nc.put_att(crs, "spatial_ref", frame.crs_wkt);
      nc.put_att(crs, "crs_wkt", frame.crs_wkt);
    }
    if (frame.has_transform) nc.put_att(crs, "GeoTransform", transform_text(frame.transform));
  }
  nc.enddef();
  nc.put(hgt, height.values());
  const std::size_t columns = height.columns(), rows = height.rows();
  const std::size_t block = std::max<std::size_t>(1, kCopyValues / std::max<std::size_t>(columns, 1));
  std::vector<std::int32_t> land;
  for (std::size_t first = 0; first < rows; first += block) {
    const std::size_t count = std::min(block, rows - first);
    land.resize(count * columns);
    for (std::size_t k = 0; k < land.size(); ++k) land[k] = water.test(first * columns + k) ? 0 : 1;
    const std::array<std::size_t, 2> start{first, 0};
    const std::array<std::size_t, 2> shape{count, columns};
    nc.put_slab(mask, start, shape, std::span<const std::int32_t>(land));
  }
  if (coordinates) {
    const auto& t = frame.transform;
    std::vector<double> centres(columns);
    for (std::size_t c = 0; c < columns; ++c) centres[c] = t[0] + (static_cast<double>(c) + 0.5) * t[1];
    nc.put(x, std::span<const double>(centres));
    centres.resize(rows);
    for (std::size_t r = 0; r < rows; ++r) centres[r] = t[3] + (static_cast<double>(r) + 0.5) * t[5];
    nc.put(y, std::span<const double>(centres));
  }
  if (mapping) {
    const char none = '\0';
    nc.put(crs, std::span<const char>(&none, 1));
  }
  nc.commit();
}

}  // namespace rn::bedcarve
