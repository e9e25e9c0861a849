#include "conditioned_file.hpp"

#include <netcdf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
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
    if (typed && type != value_type && type != NC_CHAR && to != kGlobalAttributes) {
      std::vector<double> values(length);
      if (nc_get_att_double(in.ncid(), from, name, values.data()) != NC_NOERR ||
          !held_by(value_type, values)) {
        continue;
      }
      if (value_type == NC_FLOAT) {
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
  nc.enddef();
  nc.put(hgt, height.values());
  if (real_mask) {
    copy_mask<float>(in, in_mask, nc, mask, height.columns(), height.rows());
  } else {
    copy_mask<std::int32_t>(in, in_mask, nc, mask, height.columns(), height.rows());
  }
  nc.commit();
}

}  // namespace rn::bedcarve
