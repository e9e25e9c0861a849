#include "terrain_readers.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "file_names.hpp"
#include "hydro_stop.hpp"
#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn {

namespace {

// What a 2-D grid reader does after writing the message of a failed step.
enum class OnFailure {
  stop_999,  // terrain reader with the fatal flag on: hydro_stop
  go_on,     // terrain reader with the flag off, and the point-extraction
             // reader after a failed lookup, read or close: return
};

// Which reader family, and so which texts and ends.
struct GridReader {
  std::string_view routine;      // "get2d_int" or "get2d_real"
  bool fallback;                 // also looks for name + "_M" (real fields)
  bool fill_on_open_failure;     // sets the field to -9999.0 (terrain reals)
  bool plain_stop_on_open;       // point-extraction variant
  OnFailure on_failure;
};

// A message assembled in the 256-character buffer: cut at 256, written as
// one record with trailing blanks removed.
std::string message_buffer(std::string text) {
  return trim_name(text);
}

// Writes the message, then ends or returns as the reader's policy says.
void report(const GridReader& r, const std::string& message) {
  out().record(message);
  if (r.on_failure == OnFailure::stop_999) hydro_stop(message);
}

// Element count ix * jx of a grid, or the largest size when it overflows
// (which no variable can match, so the count check reports it).
std::size_t grid_count(std::int32_t ix, std::int32_t jx) {
  const std::size_t cells[] = {static_cast<std::size_t>(std::max(ix, 0)),
                               static_cast<std::size_t>(std::max(jx, 0))};
  std::size_t n = 0;
  return checked_count(cells, n) ? n : std::numeric_limits<std::size_t>::max();
}

// The 0-based rows to read of a grid of jx rows, from a 1-based window
// (clamped to the grid; an empty window reads no row).
struct RowRange {
  std::size_t first = 0;
  std::size_t count = 0;
};

bool covers_grid(site_readers::RowWindow w, std::int32_t jx) {
  return w.first <= 1 && (w.last < 0 || w.last >= jx);
}

RowRange row_range(site_readers::RowWindow w, std::int32_t jx) {
  const std::int32_t first = std::max(w.first, 1);
  const std::int32_t last = w.last < 0 ? jx : std::min(w.last, jx);
  if (last < first) return {0, 0};
  return {static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1)};
}

// The 2-D grid reader of every terrain-style variant.
// Contract: reads variable `var` (or `var`_M when the reader falls back) of
// `file` into the ix by jx field `values` (i fastest, file order), or, when
// `rows` is given, only the rows of those ranges into their places (in the
// given order; the first failing range ends the reading).  Each failing
// step writes its message and stops or returns as `r` says; returns -1 after
// a failed open, lookup or read, else 0.  A variable that does not hold
// ix * jx values ends the program (status 1) without reading.  Cost: one
// open, a few inquiries, one read per row range (one for the whole field).
template <typename T>
int read_grid(const GridReader& r, std::string_view var_name, std::span<T> values,
              std::int32_t ix, std::int32_t jx, std::string_view file_name,
              std::span<const RowRange> rows = {}, bool whole = true) {
  const std::string file = trim_name(file_name);
  const std::string name = trim_name(var_name);
  const std::string routine(r.routine);
  const std::string name_m = name + "_M";
  const std::size_t cells = grid_count(ix, jx);

  NcFile nc;
  if (nc.open(file) != NC_NOERR) {
    const std::string message =
        message_buffer(routine + ": failed to open the netcdf file: " + file);
    out().record(message);
    if (r.plain_stop_on_open) plain_stop(kFailure);
    if (r.on_failure == OnFailure::stop_999) hydro_stop(message);
    if (r.fill_on_open_failure) {
      std::fill_n(values.begin(), std::min(cells, values.size()), static_cast<T>(kMissingTerrain));
    }
    return -1;
  }

  int varid = -1;
  std::string found = name;
  if (nc.var_id(name, varid) != NC_NOERR) {
    found = name_m;
    if (!r.fallback || nc.var_id(name_m, varid) != NC_NOERR) {
      report(r, message_buffer(r.fallback ? routine + ": failed to find the variables: " + name +
                                                " and " + name_m + " in " + file
                                          : routine + ": failed to find the variable: " + name +
                                                " in " + file));
      return -1;
    }
  }

  require_count(routine, nc, varid, file, found, cells);
  if (cells > values.size()) stop_count_mismatch(routine, file, found, cells, values.size());
  const std::size_t columns = static_cast<std::size_t>(std::max(ix, 0));
  int status = NC_NOERR;
  if (whole) {
    status = nc.read(varid, values.first(cells));
  } else {
    for (const RowRange& range : rows) {
      if (range.count == 0) continue;
      status = nc.read_rows(varid, range.first, range.count,
                            values.subspan(range.first * columns, range.count * columns));
      if (status != NC_NOERR) break;
    }
  }
  if (status != NC_NOERR) {
    report(r, message_buffer(r.fallback ? routine + ": failed to read the variable: " + name +
                                              " or " + name_m + " in " + file
                                        : routine + ": failed to read the variable: " + name +
                                              " in " + file));
    return -1;
  }

  if (nc.close() != NC_NOERR) {
    report(r, message_buffer(routine + ": failed to close the file: " + file));
  }
  return 0;
}

constexpr GridReader terrain_int(int fatal) {
  return {"get2d_int", false, false, false, fatal != 0 ? OnFailure::stop_999 : OnFailure::go_on};
}
constexpr GridReader terrain_real(int fatal) {
  return {"get2d_real", true, true, false, fatal != 0 ? OnFailure::stop_999 : OnFailure::go_on};
}
constexpr GridReader kSiteReal{"get2d_real", true, false, true, OnFailure::go_on};

// The unused-by-the-system 1-D readers: lookup and read failures write their
// record and end with a plain stop; the open status is not examined, so an
// unopenable file shows as a failed lookup.
template <typename T>
void read_1d(std::string_view reader, std::string_view file_name, std::string_view var_name,
             std::span<T> values, std::int32_t n) {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  NcFile nc;
  nc.open(file);
  int varid = -1;
  if (nc.var_id(var, varid) != NC_NOERR) {
    out().record("Error:  get_1d_netcdf_real: variable: ", var);
    plain_stop(kFailure);
  }
  const std::size_t count = static_cast<std::size_t>(std::max(n, 0));
  require_count(reader, nc, varid, file, var, count);
  if (count > values.size()) stop_count_mismatch(reader, file, var, count, values.size());
  if (nc.read(varid, values.first(count)) != NC_NOERR) {
    out().record("Error: get_1d_netcdf_int: values: ", var);
    plain_stop(kFailure);
  }
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(reader, file, status);
}

}  // namespace

namespace terrain {

void get_dim(std::string_view file_name, std::int32_t& ix, std::int32_t& jx) {
  const std::string file = trim_name(file_name);
  NcFile nc;
  if (const int opened = nc.open(file); opened != NC_NOERR) {
    out().line("FATAL ERROR: Problem opening file: '" + file + "'");
    // A damaged file ends with the failure status, as in every program.
    if (opened == kRefusedInput) plain_stop(kFailure);
    code_stop(888);
  }
  const auto length = [&](std::string_view dim, std::string_view problem) {
    int dimid = -1;
    if (nc.dim_id(dim, dimid) != NC_NOERR) {
      out().record(problem);
      code_stop(888);
    }
    std::size_t stored = 0;
    const int status = nc.dim_length(dimid, stored);
    if (status != NC_NOERR) stop_read_failure("get_dim", file, dim, status);
    return int32_length("get_dim", file, dim, stored);
  };
  const std::int32_t nx = length("west_east", "problem in nf_inq_dimidx:  x");
  const std::int32_t ny = length("south_north", "problem in nf_inq_dimidy:  x");
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure("get_dim", file, status);
  ix = nx;
  jx = ny;
  out().record("ixrt = ", ix, " jxrt =", jx);
}

void readrt2d_int(std::string_view var, std::span<std::int32_t> values, std::int32_t ix,
                  std::int32_t jx, std::string_view file, int fatal) {
  out().record(" reading variable ", trim_name(var));
  get2d_int(var, values, ix, jx, file, fatal);
}

void readrt2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
                   std::int32_t jx, std::string_view file, int fatal) {
  out().record(" reading variable ", trim_name(var));
  get2d_real(var, values, ix, jx, file, fatal);
}

int get2d_int(std::string_view var, std::span<std::int32_t> values, std::int32_t ix,
              std::int32_t jx, std::string_view file, int fatal) {
  return read_grid(terrain_int(fatal), var, values, ix, jx, file);
}

int get2d_real(std::string_view var, std::span<float> values, std::int32_t ix, std::int32_t jx,
               std::string_view file, int fatal) {
  return read_grid(terrain_real(fatal), var, values, ix, jx, file);
}

void get_1d_netcdf_int(std::string_view file, std::string_view var,
                       std::span<std::int32_t> values, std::int32_t n) {
  read_1d("get_1d_netcdf_int", file, var, values, n);
}

void get_1d_netcdf_real(std::string_view file, std::string_view var, std::span<float> values,
                        std::int32_t n) {
  read_1d("get_1d_netcdf_real", file, var, values, n);
}

void get_1d_netcdf_real8(std::string_view file, std::string_view var, std::span<double> values,
                         std::int32_t n) {
  read_1d("get_1d_netcdf_real8", file, var, values, n);
}

}  // namespace terrain

namespace site_readers {

void get2d_real(std::string_view var, std::span<float> values, std::int32_t ix, std::int32_t jx,
                std::string_view file, RowWindow rows) {
  const RowRange range = row_range(rows, jx);
  read_grid(kSiteReal, var, values, ix, jx, file, std::span<const RowRange>(&range, 1),
            covers_grid(rows, jx));
}

int get2d_real(std::string_view var, std::span<float> values, std::int32_t ix, std::int32_t jx,
               std::string_view file, std::span<const RowWindow> rows) {
  std::vector<RowRange> ranges;
  ranges.reserve(rows.size());
  for (const RowWindow& w : rows) ranges.push_back(row_range(w, jx));
  return read_grid(kSiteReal, var, values, ix, jx, file, ranges, false);
}

}  // namespace site_readers
}  // namespace rn
