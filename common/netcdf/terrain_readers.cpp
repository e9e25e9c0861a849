#include "terrain_readers.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "file_names.hpp"
#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn {

namespace {

// Fixed output: the reader texts that scripts match (not a byte may change).
constexpr std::string_view kDimsLine = "ixrt = ";
constexpr std::string_view kDimsJx = " jxrt =";
constexpr std::string_view kReadingVariable = " reading variable ";
constexpr std::string_view kGridFileUnopenable = "FATAL ERROR: Problem opening file: '";
constexpr std::string_view kNoWestEast = "problem in nf_inq_dimidx:  x";
constexpr std::string_view kNoSouthNorth = "problem in nf_inq_dimidy:  x";
constexpr std::string_view kOpenFailed = ": failed to open the netcdf file: ";
constexpr std::string_view kFindFailedOne = ": failed to find the variable: ";
constexpr std::string_view kFindFailedTwo = ": failed to find the variables: ";
constexpr std::string_view kReadFailed = ": failed to read the variable: ";
constexpr std::string_view kCloseFailed = ": failed to close the file: ";

// Which reader family, and so which texts.
struct GridReader {
  std::string_view routine;   // "get2d_int" or "get2d_real"
  bool fallback;              // also looks for name + "_M" (real fields)
  bool fill_on_open_failure;  // sets the field to -9999.0 (terrain reals)
};

// The step of a 2-D read that failed, with the reader's message and where.
struct GridFailure {
  enum class Step : std::uint8_t { none, open, find, read, close };
  Step step = Step::none;
  std::string message;
  FailurePlace place;
};

// A message assembled in the 256-character buffer: cut at 256, trailing
// blanks removed.
GridFailure failed(GridFailure::Step step, std::string text, FailurePlace place) {
  return {step, trim_name(text), std::move(place)};
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
// given order; the first failing range ends the reading).  Returns the first
// failing step with its message, writing nothing; a failed open leaves the
// field at -9999.0 when the reader fills, a failed lookup leaves it as it
// was.  A variable that does not hold ix * jx values ends the program
// (status 1) without reading.  The field's storage is asked for only after
// the count check (and after a failed open when the reader fills), so a file
// whose dimensions claim a larger grid than its variable holds costs no
// memory.  Cost: one open, a few inquiries, one read per row range (one for
// the whole field).
template <typename T>
GridFailure read_grid(const GridReader& r, std::string_view var_name,
                      const FieldStorage<T>& storage, std::int32_t ix, std::int32_t jx,
                      std::string_view file_name, std::span<const RowRange> rows = {},
                      bool whole = true) {
  using Step = GridFailure::Step;
  const std::string file = trim_name(file_name);
  const std::string name = trim_name(var_name);
  const std::string routine(r.routine);
  const std::string name_m = name + "_M";
  const std::size_t cells = grid_count(ix, jx);

  NcFile nc;
  if (const int status = nc.open(file); status != NC_NOERR) {
    if (r.fill_on_open_failure) {
      const std::span<T> values = storage();
      std::fill_n(values.begin(), std::min(cells, values.size()), static_cast<T>(kMissingTerrain));
    }
    return failed(Step::open, routine + std::string(kOpenFailed) + file,
                  {file, {}, nc_error_text(status)});
  }

  int varid = -1;
  std::string found = name;
  if (const int status = nc.var_id(name, varid); status != NC_NOERR) {
    found = name_m;
    if (!r.fallback || nc.var_id(name_m, varid) != NC_NOERR) {
      return failed(Step::find,
                    r.fallback ? routine + std::string(kFindFailedTwo) + name + " and " +
                                     name_m + " in " + file
                               : routine + std::string(kFindFailedOne) + name + " in " + file,
                    {file, r.fallback ? name + " or " + name_m : name, nc_error_text(status)});
    }
  }

  require_count(routine, nc, varid, file, found, cells);
  const std::span<T> values = storage();
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
    return failed(Step::read,
                  r.fallback ? routine + std::string(kReadFailed) + name + " or " + name_m +
                                   " in " + file
                             : routine + std::string(kReadFailed) + name + " in " + file,
                  {file, found, nc_error_text(status)});
  }

  if (const int closed = nc.close(); closed != NC_NOERR) {
    return failed(Step::close, routine + std::string(kCloseFailed) + file,
                  {file, {}, nc_error_text(closed)});
  }
  return {};
}

constexpr GridReader kTerrainInt{"get2d_int", false, false};
constexpr GridReader kTerrainReal{"get2d_real", true, true};
constexpr GridReader kSiteReal{"get2d_real", true, false};

// Storage that is the caller's span.
template <typename T>
FieldStorage<T> given(std::span<T> values) {
  return [values] { return values; };
}

terrain::ReadFailure as_terrain_failure(GridFailure f) {
  if (f.step == GridFailure::Step::none) return {};
  return {terrain::ReadFailure::Kind::field, std::move(f.message), std::move(f.place)};
}

// The point-extraction reader's ends: every failing step writes its message;
// an unopenable file then ends the program with a plain stop, the other
// steps return (-1 after a failed lookup or read, 0 after a failed close).
int site_outcome(const GridFailure& f) {
  if (f.step == GridFailure::Step::none) return 0;
  out().record(f.message);
  if (f.step == GridFailure::Step::open) {
    note_failure_place(f.place);
    plain_stop(kFailure);
  }
  return f.step == GridFailure::Step::close ? 0 : -1;
}

// The unused-by-the-system 1-D readers: lookup and read failures write their
// record and end with a plain stop; the open status is not examined, so an
// unopenable file shows as a failed lookup.
template <typename T>
void read_1d(std::string_view reader, std::string_view file_name, std::string_view var_name,
             std::span<T> values, std::int32_t n) {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  NcFile nc;
  const int opened = nc.open(file);
  int varid = -1;
  if (const int status = nc.var_id(var, varid); status != NC_NOERR) {
    // The open status is not examined: a file that did not open shows here.
    note_failure_place(file, opened != NC_NOERR ? std::string_view{} : var,
                       nc_error_text(opened != NC_NOERR ? opened : status));
    out().record("Error:  get_1d_netcdf_real: variable: ", var);
    plain_stop(kFailure);
  }
  const std::size_t count = static_cast<std::size_t>(std::max(n, 0));
  require_count(reader, nc, varid, file, var, count);
  if (count > values.size()) stop_count_mismatch(reader, file, var, count, values.size());
  if (const int status = nc.read(varid, values.first(count)); status != NC_NOERR) {
    note_failure_place(file, var, nc_error_text(status));
    out().record("Error: get_1d_netcdf_int: values: ", var);
    plain_stop(kFailure);
  }
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(reader, file, status);
}

}  // namespace

namespace terrain {

ReadFailure get_dim(std::string_view file_name, std::int32_t& ix, std::int32_t& jx) {
  const std::string file = trim_name(file_name);
  NcFile nc;
  if (const int opened = nc.open(file); opened != NC_NOERR) {
    // A damaged file (refused before the library parses it) ends with the
    // failure status, as in every program; any other open failure with 888.
    const auto kind = opened == kRefusedInput ? ReadFailure::Kind::refused_file
                                              : ReadFailure::Kind::grid_file;
    return {kind, std::string(kGridFileUnopenable) + file + "'",
            {file, {}, nc_error_text(opened)}};
  }
  std::int32_t lengths[2] = {0, 0};
  const std::string_view dims[2] = {"west_east", "south_north"};
  const std::string_view missing[2] = {kNoWestEast, kNoSouthNorth};
  for (int d = 0; d < 2; ++d) {
    int dimid = -1;
    if (const int status = nc.dim_id(dims[d], dimid); status != NC_NOERR) {
      return {ReadFailure::Kind::dimension, std::string(missing[d]),
              {file, std::string(dims[d]), nc_error_text(status)}};
    }
    std::size_t stored = 0;
    const int status = nc.dim_length(dimid, stored);
    if (status != NC_NOERR) stop_read_failure("get_dim", file, dims[d], status);
    lengths[d] = int32_length("get_dim", file, dims[d], stored);
  }
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure("get_dim", file, status);
  ix = lengths[0];
  jx = lengths[1];
  echo_dims(ix, jx);
  return {};
}

void echo_dims(std::int32_t ix, std::int32_t jx) { out().record(kDimsLine, ix, kDimsJx, jx); }

ReadFailure readrt2d_int(std::string_view var, const FieldStorage<std::int32_t>& storage,
                         std::int32_t ix, std::int32_t jx, std::string_view file) {
  out().record(kReadingVariable, trim_name(var));
  return as_terrain_failure(read_grid(kTerrainInt, var, storage, ix, jx, file));
}

ReadFailure readrt2d_real(std::string_view var, const FieldStorage<float>& storage,
                          std::int32_t ix, std::int32_t jx, std::string_view file) {
  out().record(kReadingVariable, trim_name(var));
  return as_terrain_failure(read_grid(kTerrainReal, var, storage, ix, jx, file));
}

ReadFailure get2d_int(std::string_view var, std::span<std::int32_t> values, std::int32_t ix,
                      std::int32_t jx, std::string_view file) {
  return as_terrain_failure(read_grid(kTerrainInt, var, given(values), ix, jx, file));
}

ReadFailure get2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
                       std::int32_t jx, std::string_view file) {
  return as_terrain_failure(read_grid(kTerrainReal, var, given(values), ix, jx, file));
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
  site_outcome(read_grid(kSiteReal, var, given(values), ix, jx, file,
                         std::span<const RowRange>(&range, 1), covers_grid(rows, jx)));
}

int get2d_real(std::string_view var, const FieldStorage<float>& storage, std::int32_t ix,
               std::int32_t jx, std::string_view file, std::span<const RowWindow> rows) {
  std::vector<RowRange> ranges;
  ranges.reserve(rows.size());
  for (const RowWindow& w : rows) ranges.push_back(row_range(w, jx));
  return site_outcome(read_grid(kSiteReal, var, storage, ix, jx, file, ranges, false));
}

int get2d_real(std::string_view var, std::span<float> values, std::int32_t ix, std::int32_t jx,
               std::string_view file, std::span<const RowWindow> rows) {
  return get2d_real(var, given(values), ix, jx, file, rows);
}

}  // namespace site_readers
}  // namespace rn
