#include "nc_damage.hpp"

#include "classic_extent.hpp"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace rn::test {
namespace fs = std::filesystem;

namespace {

void check(int status, const std::string& what) {
  if (status != NC_NOERR) throw std::runtime_error(what + ": " + nc_strerror(status));
}

bool is_integer_type(nc_type t) {
  return t == NC_BYTE || t == NC_SHORT || t == NC_INT || t == NC_UBYTE || t == NC_USHORT ||
         t == NC_UINT || t == NC_INT64 || t == NC_UINT64;
}

bool is_classic_format(int format) {
  return format == NC_FORMAT_CLASSIC || format == NC_FORMAT_64BIT_OFFSET ||
         format == NC_FORMAT_CDF5;
}

int create_mode(int format) {
  switch (format) {
    case NC_FORMAT_CLASSIC: return NC_CLOBBER;
    case NC_FORMAT_64BIT_OFFSET: return NC_CLOBBER | NC_64BIT_OFFSET;
    case NC_FORMAT_CDF5: return NC_CLOBBER | NC_64BIT_DATA;
    case NC_FORMAT_NETCDF4: return NC_CLOBBER | NC_NETCDF4;
    case NC_FORMAT_NETCDF4_CLASSIC: return NC_CLOBBER | NC_NETCDF4 | NC_CLASSIC_MODEL;
    default: throw std::runtime_error("unknown netCDF format " + std::to_string(format));
  }
}

// One variable of the source and how it is defined in the copy.
struct VarPlan {
  std::string name;
  nc_type type = NC_NAT;
  std::vector<int> src_dims;
  std::vector<int> dst_dims;
  int natts = 0;
  bool huge = false;      // defined over a huge dimension: no data
  bool as_text = false;   // stored as characters: no numeric data
  bool edited = false;    // values pass through the edit
  int dst_id = -1;
};

// Attributes that must have the variable's own type: dropped when the type
// changes.
bool typed_like_variable(const std::string& att) {
  return att == "_FillValue" || att == "missing_value" || att == "valid_min" ||
         att == "valid_max" || att == "valid_range";
}

void copy_atts(int in, int src_var, int out, int dst_var, int natts, const std::string& prefix,
               bool type_changed, const NcEdit& edit) {
  for (int a = 0; a < natts; ++a) {
    char name[NC_MAX_NAME + 1] = {};
    check(nc_inq_attname(in, src_var, a, name), "attribute name");
    const std::string att(name);
    if (type_changed && typed_like_variable(att)) continue;
    if (edit.real_atts.count(prefix + ":" + att) != 0) continue;  // written below
    check(nc_copy_att(in, src_var, name, out, dst_var), "copy attribute " + prefix + ":" + att);
  }
  for (const auto& [key, value] : edit.real_atts) {
    if (key.rfind(prefix + ":", 0) != 0) continue;
    const std::string att = key.substr(prefix.size() + 1);
    check(nc_put_att_float(out, dst_var, att.c_str(), NC_FLOAT, 1, &value), "attribute " + key);
  }
}

std::size_t product(const std::vector<std::size_t>& v) {
  std::size_t n = 1;
  for (std::size_t x : v) n *= x;
  return n;
}

}  // namespace

double non_finite_pattern(std::size_t index, double value) {
  switch (index % 4) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return std::numeric_limits<double>::infinity();
    case 2: return -std::numeric_limits<double>::infinity();
    default: return value;
  }
}

// Copy through the library.
// Contract: `src` is a netCDF file of one group whose variables hold
// numbers or characters.  The copy has the same dimensions, variables,
// attributes and values except for what `edit` changes.  Cost: one read and
// one write of every value.
void copy_nc(const fs::path& src, const fs::path& dst, const NcEdit& edit) {
  int in = -1;
  check(nc_open(src.c_str(), NC_NOWRITE, &in), "open " + src.string());
  struct Closer {
    int id;
    ~Closer() { if (id >= 0) nc_close(id); }
  } close_in{in};

  int src_format = 0;
  check(nc_inq_format(in, &src_format), "format");
  int ndims = 0, nvars = 0, ngatts = 0, unlimited = -1;
  check(nc_inq(in, &ndims, &nvars, &ngatts, &unlimited), "inquire");

  int format = src_format;
  if (edit.kind == NcKind::classic) format = NC_FORMAT_CLASSIC;
  if (edit.kind == NcKind::netcdf4) format = NC_FORMAT_NETCDF4;
  if (!edit.huge_dims.empty()) format = NC_FORMAT_NETCDF4;
  if (!edit.unused_dims.empty()) format = NC_FORMAT_CLASSIC;

  // Dimensions of the source.
  std::vector<std::string> dim_names(static_cast<std::size_t>(ndims));
  std::vector<std::size_t> dim_lengths(static_cast<std::size_t>(ndims));
  int empty_id = -1;
  for (int d = 0; d < ndims; ++d) {
    char name[NC_MAX_NAME + 1] = {};
    check(nc_inq_dim(in, d, name, &dim_lengths[static_cast<std::size_t>(d)]), "dimension");
    dim_names[static_cast<std::size_t>(d)] = name;
    if (name == edit.empty_dim) empty_id = d;
  }
  if (!edit.empty_dim.empty() && empty_id < 0) {
    throw std::runtime_error("no dimension " + edit.empty_dim + " in " + src.string());
  }

  // Variables and the new dimension of a recounted one.
  std::vector<VarPlan> vars(static_cast<std::size_t>(nvars));
  bool found_edit_var = edit.recount_var.empty() && edit.text_var.empty() && edit.values_var.empty();
  for (int v = 0; v < nvars; ++v) {
    VarPlan& p = vars[static_cast<std::size_t>(v)];
    char name[NC_MAX_NAME + 1] = {};
    int nd = 0;
    int dimids[NC_MAX_VAR_DIMS] = {};
    check(nc_inq_var(in, v, name, &p.type, &nd, dimids, &p.natts), "variable");
    p.name = name;
    p.src_dims.assign(dimids, dimids + nd);
    p.dst_dims = p.src_dims;
    for (int d : p.src_dims) {
      if (edit.huge_dims.count(dim_names[static_cast<std::size_t>(d)]) != 0) p.huge = true;
    }
    p.as_text = p.name == edit.text_var;
    p.edited = p.name == edit.values_var;
    if (p.name == edit.recount_var || p.as_text || p.edited) found_edit_var = true;
    // A classic file has its unlimited dimension first in every variable.
    if (empty_id >= 0 && is_classic_format(format)) {
      for (std::size_t k = 1; k < p.src_dims.size(); ++k) {
        if (p.src_dims[k] == empty_id) format = NC_FORMAT_NETCDF4;
      }
    }
  }
  if (!found_edit_var) throw std::runtime_error("variable to damage not found in " + src.string());

  // Values of the edited variable, read first: its type may have to change.
  std::vector<double> edited_values;
  for (VarPlan& p : vars) {
    if (!p.edited) continue;
    int v = static_cast<int>(&p - vars.data());
    std::vector<std::size_t> lengths;
    for (int d : p.src_dims) lengths.push_back(dim_lengths[static_cast<std::size_t>(d)]);
    edited_values.resize(product(lengths));
    if (!edited_values.empty()) check(nc_get_var_double(in, v, edited_values.data()), "read " + p.name);
    bool integral = true;
    for (std::size_t k = 0; k < edited_values.size(); ++k) {
      edited_values[k] = edit.values(k, edited_values[k]);
      if (!std::isfinite(edited_values[k]) || std::trunc(edited_values[k]) != edited_values[k]) integral = false;
    }
    if (is_integer_type(p.type) && !integral) p.type = NC_FLOAT;
  }

  const fs::path tmp = dst.string() + ".copying";
  int out = -1;
  check(nc_create(tmp.c_str(), create_mode(format), &out), "create " + tmp.string());
  Closer close_out{out};

  for (int d = 0; d < ndims; ++d) {
    const std::string& name = dim_names[static_cast<std::size_t>(d)];
    std::size_t length = dim_lengths[static_cast<std::size_t>(d)];
    if (d == unlimited && is_classic_format(format) && empty_id >= 0 && empty_id != d) {
      // Only one unlimited dimension in a classic file: this one becomes fixed.
    } else if (d == unlimited || d == empty_id) {
      length = NC_UNLIMITED;
    }
    if (const auto h = edit.huge_dims.find(name); h != edit.huge_dims.end()) length = h->second;
    if (const auto u = edit.unused_dims.find(name); u != edit.unused_dims.end()) length = u->second;
    int id = -1;
    check(nc_def_dim(out, name.c_str(), length, &id), "define dimension " + name);
  }
  std::size_t padding = 0;
  for (const auto& [name, length] : edit.unused_dims) {
    const auto d = std::find(dim_names.begin(), dim_names.end(), name);
    if (d == dim_names.end()) throw std::runtime_error("no dimension " + name + " in " + src.string());
    const int src_id = static_cast<int>(d - dim_names.begin());
    int held = -1;
    check(nc_def_dim(out, (name + "_held").c_str(), dim_lengths[static_cast<std::size_t>(src_id)], &held),
          "dimension " + name + "_held");
    for (VarPlan& p : vars) std::replace(p.dst_dims.begin(), p.dst_dims.end(), src_id, held);
    padding = std::max(padding, length);
  }
  if (padding > 0) {
    const std::string text(padding, ' ');
    check(nc_put_att_text(out, NC_GLOBAL, "padding", text.size(), text.data()), "padding");
  }
  for (VarPlan& p : vars) {
    if (p.name == edit.recount_var) {
      if (p.src_dims.empty()) throw std::runtime_error("cannot recount scalar " + p.name);
      const int last = p.src_dims.back();
      const std::size_t length = dim_lengths[static_cast<std::size_t>(last)];
      long wanted = static_cast<long>(length) + edit.count_delta;
      if (wanted < 1) wanted = static_cast<long>(length) + 1;
      int id = -1;
      const std::string name = dim_names[static_cast<std::size_t>(last)] + "_" + p.name;
      check(nc_def_dim(out, name.c_str(), static_cast<std::size_t>(wanted), &id), "dimension " + name);
      p.dst_dims.back() = id;
    }
  }

  for (std::size_t v = 0; v < vars.size(); ++v) {
    VarPlan& p = vars[v];
    const nc_type type = p.as_text ? NC_CHAR : p.type;
    check(nc_def_var(out, p.name.c_str(), type, static_cast<int>(p.dst_dims.size()),
                     p.dst_dims.data(), &p.dst_id),
          "define " + p.name);
    if (p.huge) {
      std::vector<std::size_t> chunks;
      for (int d : p.dst_dims) {
        const auto h = edit.huge_dims.find(dim_names[static_cast<std::size_t>(d)]);
        const std::size_t length =
            h != edit.huge_dims.end() ? h->second : dim_lengths[static_cast<std::size_t>(d)];
        chunks.push_back(std::clamp<std::size_t>(length, 1, 256));
      }
      check(nc_def_var_chunking(out, p.dst_id, NC_CHUNKED, chunks.data()), "chunking " + p.name);
    }
    nc_type src_type = NC_NAT;
    check(nc_inq_vartype(in, static_cast<int>(v), &src_type), "type");
    copy_atts(in, static_cast<int>(v), out, p.dst_id, p.natts, p.name, type != src_type, edit);
  }
  copy_atts(in, NC_GLOBAL, out, NC_GLOBAL, ngatts, "", false, edit);
  check(nc_enddef(out), "end definitions");

  for (std::size_t v = 0; v < vars.size(); ++v) {
    const VarPlan& p = vars[v];
    if (p.huge) continue;
    std::vector<std::size_t> count;
    for (std::size_t k = 0; k < p.src_dims.size(); ++k) {
      const auto sd = static_cast<std::size_t>(p.src_dims[k]);
      std::size_t n = dim_lengths[sd];
      if (p.src_dims[k] == empty_id) n = 0;
      if (p.dst_dims[k] != p.src_dims[k]) {
        std::size_t dst_len = 0;
        check(nc_inq_dimlen(out, p.dst_dims[k], &dst_len), "dimension length");
        n = std::min(n, dst_len);
      }
      count.push_back(n);
    }
    const std::size_t n = product(count);
    if (n == 0) continue;
    const std::vector<std::size_t> start(count.size(), 0);
    if (p.as_text) {
      const std::string digits(n, '7');
      check(nc_put_vara_text(out, p.dst_id, start.data(), count.data(), digits.data()), "write " + p.name);
      continue;
    }
    if (p.type == NC_CHAR) {
      std::string text(n, '\0');
      check(nc_get_vara_text(in, static_cast<int>(v), start.data(), count.data(), text.data()), "read " + p.name);
      check(nc_put_vara_text(out, p.dst_id, start.data(), count.data(), text.data()), "write " + p.name);
      continue;
    }
    std::vector<double> values(n);
    if (p.edited && n == edited_values.size()) {
      values = edited_values;
    } else {
      check(nc_get_vara_double(in, static_cast<int>(v), start.data(), count.data(), values.data()),
            "read " + p.name);
    }
    if (p.type == NC_FLOAT) {
      // Written as floats: the library refuses to narrow an infinite double.
      const std::vector<float> reals(values.begin(), values.end());
      check(nc_put_vara_float(out, p.dst_id, start.data(), count.data(), reals.data()), "write " + p.name);
    } else {
      check(nc_put_vara_double(out, p.dst_id, start.data(), count.data(), values.data()), "write " + p.name);
    }
  }

  close_out.id = -1;
  check(nc_close(out), "close " + tmp.string());
  fs::rename(tmp, dst);
}

void damage_nc(const fs::path& path, const NcEdit& edit) {
  const fs::path tmp = path.string() + ".damaged";
  copy_nc(path, tmp, edit);
  fs::rename(tmp, path);
}

void truncate_file(const fs::path& path, double fraction) {
  const auto size = fs::file_size(path);
  fs::resize_file(path, static_cast<std::uintmax_t>(static_cast<double>(size) * fraction));
}

std::string nc_kind_name(const fs::path& path) {
  int id = -1;
  check(nc_open(path.c_str(), NC_NOWRITE, &id), "open " + path.string());
  int format = 0;
  const int status = nc_inq_format(id, &format);
  nc_close(id);
  check(status, "format");
  switch (format) {
    case NC_FORMAT_CLASSIC: return "classic";
    case NC_FORMAT_64BIT_OFFSET: return "64-bit offset";
    case NC_FORMAT_CDF5: return "cdf5";
    case NC_FORMAT_NETCDF4: return "netCDF-4";
    case NC_FORMAT_NETCDF4_CLASSIC: return "netCDF-4 classic model";
    default: return "unknown";
  }
}

std::uint64_t classic_header_bytes(std::string_view bytes) {
  const ClassicCheck check = check_classic_header(bytes);
  if (!check.layout) throw std::runtime_error("not a sound classic file: " + check.problem);
  return check.layout->header_bytes;
}

std::string damage_header(std::string bytes, std::uint64_t header_bytes, std::uint64_t seed) {
  // splitmix64: the same numbers on every machine and library.
  std::uint64_t state = seed;
  const auto next = [&state] {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  const std::uint64_t span = std::min<std::uint64_t>(header_bytes, bytes.size());
  if (span == 0) return bytes;
  // Most changes set one byte; one in three sets a whole aligned word to a
  // count or length a damaged header typically holds (0, 1, the largest
  // signed or unsigned values, one more than before).
  const std::uint64_t changes = 1 + next() % 4;
  for (std::uint64_t c = 0; c < changes; ++c) {
    const std::size_t at = static_cast<std::size_t>(next() % span);
    if (next() % 3 != 0 || at / 4 * 4 + 4 > span) {
      const auto old = static_cast<unsigned char>(bytes[at]);
      bytes[at] = static_cast<char>((old + 1 + next() % 255) & 0xFF);
      continue;
    }
    const std::size_t word = at / 4 * 4;
    std::uint32_t value = 0;
    for (int k = 0; k < 4; ++k) value = (value << 8) | static_cast<unsigned char>(bytes[word + static_cast<std::size_t>(k)]);
    const std::uint32_t choices[] = {0, 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, value + 1};
    value = choices[next() % std::size(choices)];
    for (int k = 3; k >= 0; --k, value >>= 8) bytes[word + static_cast<std::size_t>(k)] = static_cast<char>(value & 0xFF);
  }
  return bytes;
}

}  // namespace rn::test
