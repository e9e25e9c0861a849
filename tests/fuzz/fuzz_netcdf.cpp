#include "fuzz_netcdf.hpp"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "classic_extent.hpp"

namespace rn::fuzz {

namespace {

namespace fs = std::filesystem;

// The description being edited.
struct Att {
  std::string name;
  nc_type type;
  std::vector<double> values;
};
struct Var {
  std::string name;
  nc_type type;
  std::vector<int> dims;
  std::vector<Att> atts;
  int data_mode = 0;  // 0 counting, 1 from the bytes, 2 odd values (NaN, infinities, limits), 3 zeros
  std::vector<double> given;  // values from the bytes (mode 1)
};
struct Dim {
  std::string name;
  std::size_t length;
};
struct Model {
  int format = NC_FORMAT_CLASSIC;
  std::vector<Dim> dims;
  std::vector<Var> vars;
  std::vector<Att> global_atts;
  std::size_t records = 2;
};

// Names the readers look for, and a few they do not.
constexpr const char* kNames[] = {
    "feature_id", "streamflow", "scale_factor", "recNum", "ndata", "gridNum", "childNodeNum",
    "PnodeId", "childIndex", "weight", "ci_grid", "cj_grid", "fcstIndex", "polyid", "data",
    "overlaps", "i_index", "j_index", "regridweight", "linkDim", "link", "order", "x", "y",
    "west_east", "south_north", "XLAT_M", "XLONG_M", "LATITUDE", "LONGITUDE", "CHANNELGRID",
    "HGT_M", "LANDMASK", "lat_0", "lon_0", "xgrid_0", "ygrid_0", "T2", "RAIN", "RAINRATE", "U10",
    "n", "chanxi", "chanyj", "chlat", "chlon", "TRUELAT1", "CEN_LAT", "_FillValue",
    "missing_value", "add_offset", "Time", "size", "other"};

constexpr nc_type kClassicTypes[] = {NC_BYTE, NC_CHAR, NC_SHORT, NC_INT, NC_FLOAT, NC_DOUBLE};
constexpr nc_type kWideTypes[] = {NC_UBYTE, NC_USHORT, NC_UINT, NC_INT64, NC_UINT64, NC_STRING};

constexpr double kOddValues[] = {std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               -9999.0, 0.0, -1.0, 3.0e38, 2147483648.0, -2147483649.0, 1.0e-45};

// Largest number of values of one variable and of a dimension.
constexpr std::size_t kMaxValues = 1 << 16;
constexpr std::size_t kMaxLength = 64;

nc_type pick_type(Bytes& in, int format) {
  const std::uint8_t k = in.u8();
  const bool wide = format == NC_FORMAT_CDF5 || format == NC_FORMAT_NETCDF4;
  const std::size_t n = std::size(kClassicTypes) + (wide ? std::size(kWideTypes) - (format == NC_FORMAT_CDF5) : 0);
  const std::size_t i = k % n;
  return i < std::size(kClassicTypes) ? kClassicTypes[i] : kWideTypes[i - std::size(kClassicTypes)];
}

std::string pick_name(Bytes& in) {
  const std::uint8_t k = in.u8();
  if (k < 240) return kNames[k % std::size(kNames)];
  // A name of the fuzzer's own bytes (possibly one the library refuses).
  return std::string(in.text(1 + k % 8));
}

Att make_att(Bytes& in, int format) {
  Att a{pick_name(in), pick_type(in, format), {}};
  const std::size_t n = in.u8() % 4;
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t how = in.u8();
    a.values.push_back(how < 128 ? static_cast<double>(in.f32()) : kOddValues[how % std::size(kOddValues)]);
  }
  return a;
}

Model describe(const FileLayout& layout) {
  Model m;
  for (const DimLayout& d : layout.dims) m.dims.push_back({d.name, d.length});
  for (const VarLayout& v : layout.vars) {
    Var var{v.name, v.type, v.dims, {}, 0, {}};
    for (const AttLayout& a : v.atts) var.atts.push_back({a.name, a.type, {a.value}});
    m.vars.push_back(std::move(var));
  }
  for (const AttLayout& a : layout.global_atts) m.global_atts.push_back({a.name, a.type, {a.value}});
  m.records = layout.records;
  return m;
}

// One edit of the description, chosen by the bytes.
void edit(Model& m, Bytes& in) {
  const std::uint8_t kind = in.u8() % 10;
  const auto var = [&]() -> Var* {
    return m.vars.empty() ? nullptr : &m.vars[in.u8() % m.vars.size()];
  };
  switch (kind) {
    case 0:
      if (!m.dims.empty()) m.dims[in.u8() % m.dims.size()].length = in.u8() % kMaxLength;
      break;
    case 1:
      if (Var* v = var()) v->type = pick_type(in, m.format);
      break;
    case 2:
      if (Var* v = var()) v->name = pick_name(in);
      break;
    case 3:
      if (Var* v = var(); v != nullptr && !m.dims.empty()) {
        const int d = static_cast<int>(in.u8() % m.dims.size());
        const std::uint8_t where = in.u8();
        if (where % 3 == 0 || v->dims.empty()) {
          v->dims.push_back(d);
        } else if (where % 3 == 1) {
          v->dims[where % v->dims.size()] = d;
        } else {
          v->dims.pop_back();
        }
      }
      break;
    case 4:
      if (!m.vars.empty()) m.vars.erase(m.vars.begin() + in.u8() % m.vars.size());
      break;
    case 5:
      if (Var* v = var()) v->atts.push_back(make_att(in, m.format));
      break;
    case 6:
      m.global_atts.push_back(make_att(in, m.format));
      break;
    case 7:
      if (Var* v = var()) {
        v->data_mode = in.u8() % 4;
        const std::size_t n = in.u8() % 16;
        for (std::size_t k = 0; k < n; ++k) {
          const std::uint8_t how = in.u8();
          v->given.push_back(how < 160 ? static_cast<double>(in.i32()) : kOddValues[how % std::size(kOddValues)]);
        }
      }
      break;
    case 8:
      if (m.dims.size() < 8) m.dims.push_back({pick_name(in), in.u8() % kMaxLength});
      break;
    case 9:
      m.records = in.u8() % 5;
      break;
  }
}

double value_of(const Var& v, std::size_t k) {
  switch (v.data_mode) {
    case 1: return v.given.empty() ? 0.0 : v.given[k % v.given.size()];
    case 2: return kOddValues[k % std::size(kOddValues)];
    case 3: return 0.0;
    default: return static_cast<double>(k + 1);
  }
}

int create_mode(int format) {
  switch (format) {
    case NC_FORMAT_64BIT_OFFSET: return NC_CLOBBER | NC_64BIT_OFFSET;
    case NC_FORMAT_CDF5: return NC_CLOBBER | NC_64BIT_DATA;
    case NC_FORMAT_NETCDF4: return NC_CLOBBER | NC_NETCDF4;
    case NC_FORMAT_NETCDF4_CLASSIC: return NC_CLOBBER | NC_NETCDF4 | NC_CLASSIC_MODEL;
    default: return NC_CLOBBER;
  }
}

void put_att(int id, int varid, const Att& a) {
  if (a.type == NC_CHAR) {
    const std::string text(a.values.size(), 'x');
    nc_put_att_text(id, varid, a.name.c_str(), text.size(), text.data());
  } else if (a.type == NC_STRING) {
    std::vector<const char*> texts(a.values.size(), "text");
    nc_put_att_string(id, varid, a.name.c_str(), texts.size(), texts.data());
  } else {
    nc_put_att_double(id, varid, a.name.c_str(), a.type, a.values.size(), a.values.data());
  }
}

// Writes the description through the library; parts it refuses are left out.
void write_model(const Model& m, const std::string& path) {
  int id = -1;
  if (nc_create(path.c_str(), create_mode(m.format), &id) != NC_NOERR) return;
  nc_set_fill(id, NC_NOFILL, nullptr);
  std::vector<int> dim_ids(m.dims.size(), -1);
  for (std::size_t d = 0; d < m.dims.size(); ++d) {
    nc_def_dim(id, m.dims[d].name.c_str(), m.dims[d].length == 0 ? NC_UNLIMITED : m.dims[d].length,
               &dim_ids[d]);
  }
  std::vector<int> var_ids(m.vars.size(), -1);
  for (std::size_t v = 0; v < m.vars.size(); ++v) {
    // Variables stay small: a file is written per input.
    std::vector<int> ids;
    bool ok = m.vars[v].dims.size() <= 4;
    std::size_t n = 1;
    for (int d : m.vars[v].dims) {
      ok = ok && d >= 0 && static_cast<std::size_t>(d) < dim_ids.size() && dim_ids[static_cast<std::size_t>(d)] >= 0;
      if (!ok) break;
      ids.push_back(dim_ids[static_cast<std::size_t>(d)]);
      n *= std::max<std::size_t>(m.dims[static_cast<std::size_t>(d)].length, m.records);
      ok = n <= kMaxValues;
    }
    if (!ok || nc_def_var(id, m.vars[v].name.c_str(), m.vars[v].type, static_cast<int>(ids.size()),
                          ids.data(), &var_ids[v]) != NC_NOERR) {
      var_ids[v] = -1;
      continue;
    }
    for (const Att& a : m.vars[v].atts) put_att(id, var_ids[v], a);
  }
  for (const Att& a : m.global_atts) put_att(id, NC_GLOBAL, a);
  if (nc_enddef(id) != NC_NOERR) {
    nc_close(id);
    return;
  }
  for (std::size_t v = 0; v < m.vars.size(); ++v) {
    const Var& var = m.vars[v];
    if (var_ids[v] < 0 || var.type == NC_STRING) continue;
    std::vector<std::size_t> count;
    std::size_t n = 1;
    for (int d : var.dims) {
      const std::size_t length = m.dims[static_cast<std::size_t>(d)].length;
      count.push_back(length == 0 ? m.records : length);
      n *= count.back();
    }
    if (n == 0 || n > kMaxValues) continue;
    const std::vector<std::size_t> start(count.size(), 0);
    if (var.type == NC_CHAR) {
      std::string text(n, '\0');
      for (std::size_t k = 0; k < n; ++k) {
        const double x = value_of(var, k);  // its last digit, 0 for NaN and infinities
        text[k] = static_cast<char>('0' + (std::isfinite(x) ? static_cast<int>(std::fmod(std::fabs(x), 10.0)) : 0));
      }
      nc_put_vara_text(id, var_ids[v], start.data(), count.data(), text.data());
      continue;
    }
    std::vector<double> values(n);
    for (std::size_t k = 0; k < n; ++k) values[k] = value_of(var, k);
    nc_put_vara_double(id, var_ids[v], start.data(), count.data(), values.data());
  }
  nc_close(id);
}

// Changes up to four header bytes of the written file.
void damage_header(Bytes& in, const std::string& path, int format) {
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (f == nullptr) return;
  std::string bytes(64 * 1024, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
  std::size_t span = std::min<std::size_t>(bytes.size(), 2048);
  if (format != NC_FORMAT_NETCDF4 && format != NC_FORMAT_NETCDF4_CLASSIC) {
    const ClassicCheck sound = check_classic_header(bytes);
    if (sound.layout) span = std::min<std::size_t>(span, sound.layout->header_bytes);
  }
  const std::size_t changes = 1 + in.u8() % 4;
  // Only changes the bytes spell out: an input that ends here would zero
  // byte 0 every time, sending a sixth of all inputs down the probe of
  // files that are not classic.
  for (std::size_t c = 0; c < changes && span > 0 && !in.empty(); ++c) {
    const std::size_t at = in.u16() % span;
    const char value = static_cast<char>(in.u8());
    std::fseek(f, static_cast<long>(at), SEEK_SET);
    std::fputc(value, f);
  }
  std::fclose(f);
}

// The formats of the fuzzed file, eight entries (bits 0-2 of the head
// byte).  A netCDF-4 file costs a library write through HDF5, a probe
// process and HDF5 opens, some ten times a classic file, so the netCDF-4
// formats have targets of their own (built with RN_FUZZ_NETCDF4), run for
// fewer executions; the classic formats' targets stay fast.
#if defined(RN_FUZZ_NETCDF4)
constexpr int kFormats[] = {NC_FORMAT_NETCDF4, NC_FORMAT_NETCDF4_CLASSIC, NC_FORMAT_NETCDF4,
                            NC_FORMAT_NETCDF4_CLASSIC, NC_FORMAT_NETCDF4, NC_FORMAT_NETCDF4_CLASSIC,
                            NC_FORMAT_NETCDF4, NC_FORMAT_NETCDF4_CLASSIC};
#else
constexpr int kFormats[] = {NC_FORMAT_CLASSIC, NC_FORMAT_64BIT_OFFSET, NC_FORMAT_CDF5,
                            NC_FORMAT_CLASSIC, NC_FORMAT_64BIT_OFFSET, NC_FORMAT_CDF5,
                            NC_FORMAT_CLASSIC, NC_FORMAT_64BIT_OFFSET};
#endif

}  // namespace

const FileLayout kChannelPoints{
    {{"time", 1}, {"recNum", 6}},
    {{"time", NC_INT, {0}}, {"streamflow", NC_FLOAT, {1}}, {"acc_streamflowMax", NC_FLOAT, {1}},
     {"latitude", NC_FLOAT, {1}}, {"longitude", NC_FLOAT, {1}}, {"order", NC_INT, {1}},
     {"chanxi", NC_INT, {1}}, {"chanyj", NC_INT, {1}}}};

void write_fuzzed_file(const FileLayout& layout, Bytes& in, const std::string& path) {
  Model m = describe(layout);
  // No bytes (a program's other, sound input): the classic format.
  const bool sound = in.empty();
  const std::uint8_t head = in.u8();
  m.format = sound ? NC_FORMAT_CLASSIC : kFormats[head % std::size(kFormats)];
  const std::size_t edits = (head >> 3) % 8;  // kFormats has 8 entries: bits 0-2
  for (std::size_t e = 0; e < edits; ++e) edit(m, in);
  write_model(m, path);
  if ((head >> 6) == 3) damage_header(in, path, m.format);
}

void write_text(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

const std::string& work_dir() {
  static const std::string dir = [] {
    std::string pattern = fs::exists("/dev/shm") ? "/dev/shm/rn-fuzz-XXXXXX" : "/tmp/rn-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) std::abort();
    // One file kept open (in memory only) for the whole run: the library
    // allocates its table of open files (half a megabyte) when the first file
    // opens and frees it when the last one closes, which under the sanitizer
    // cost a fresh mapping and its page faults at every open, a third of an
    // input's time.
    int keep = -1;
    if (nc_create("kept-open.nc", NC_DISKLESS | NC_CLOBBER, &keep) != NC_NOERR) std::abort();
    static const std::string made = pattern;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(made, ec);
    });
    return pattern;
  }();
  return dir;
}

}  // namespace rn::fuzz
