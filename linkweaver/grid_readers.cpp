#include "grid_readers.hpp"

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "file_names.hpp"
#include "linkweaver_messages.hpp"
#include "nc_file.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::linkweaver {

const GridDimensionNames kChildDimensions{msg::kChildDimensionReader, msg::kChildOpenRecord, "x",
                                          "y"};
const GridDimensionNames kGeoDimensions{msg::kGeoDimensionReader, msg::kGeoOpenRecord, "west_east",
                                        "south_north"};

void read_grid_dimensions(const GridDimensionNames& names, std::string_view file_name,
                          std::int32_t& columns, std::int32_t& rows) {
  const std::string file = trim_name(file_name);
  NcFile nc;
  if (const int status = nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    out().record(names.open_record, file);
    text_stop(msg::kGridOpenStop);
  }
  // Lookup and length of one dimension, each failure with its stop text.
  const auto length_of = [&](std::string_view dim, std::string_view lookup_stop,
                             std::string_view length_stop) {
    int dimid = -1;
    std::size_t length = 0;
    int status = nc.dim_id(dim, dimid);
    const bool found = status == NC_NOERR;
    if (found) status = nc.dim_length(dimid, length);
    if (status != NC_NOERR) {
      note_failure_place(file, dim, nc_error_text(status));
      text_stop(found ? length_stop : lookup_stop);
    }
    return int32_length(names.reader, file, dim, length);
  };
  columns = length_of(names.columns, msg::kColumnsLookupStop, msg::kColumnsLengthStop);
  rows = length_of(names.rows, msg::kRowsLookupStop, msg::kRowsLengthStop);
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(names.reader, file, status);
}

namespace {

template <typename T>
constexpr std::string_view reader_name() {
  return std::is_same_v<T, float> ? msg::kRealGridReader : msg::kIntGridReader;
}

// The end of a 2-D reader whose variable is not in the file (after the
// lookup records).
template <typename T>
[[noreturn]] void lookup_failed(const std::string& file, const std::string& var, int status) {
  if constexpr (std::is_same_v<T, float>) {
    text_stop(msg::kRealReadStop);
  } else {
    stop_read_failure(reader_name<T>(), file, var, status);
  }
}

// The end of a 2-D reader whose variable cannot be read: the record names
// the file, the variable and the library's reason (a truncated file, text
// where numbers are due) before the reader's stop.
// (The integer reader's shared stop already carries that record.)
template <typename T>
[[noreturn]] void read_failed(const std::string& file, const std::string& var, int status) {
  if constexpr (std::is_same_v<T, float>) {
    note_failure_place(file, var, nc_error_text(status));
    out().record(msg::kReadFailureHead, var, msg::kIn, file, msg::kReason, nc_error_text(status));
  }
  lookup_failed<T>(file, var, status);
}

// Open and lookup steps of the 2-D readers; returns the variable id.
template <typename T>
int open_grid_variable(NcFile& nc, const std::string& file, const std::string& var) {
  if (const int status = nc.open(file); status != NC_NOERR) {
    note_failure_place(file, {}, nc_error_text(status));
    text_stop(msg::kFieldOpenStop);
  }
  int varid = -1;
  const int status = nc.var_id(var, varid);
  if (status != NC_NOERR) {
    note_failure_place(file, var, nc_error_text(status));
    out().record(msg::kVariableNotFound, var);
    out().record(msg::kFileOfVariable, file);
    lookup_failed<T>(file, var, status);
  }
  return varid;
}

void close_grid_file(std::string_view reader, NcFile& nc, const std::string& file) {
  const int status = nc.close();
  if (status != NC_NOERR) stop_close_failure(reader, file, status);
}

// Rectangular blocks of a grid variable of `rows` by `columns` values, in
// file order.
// Contract: the variable holds exactly rows * columns values (checked by the
// caller).  When it is laid out as (1, ..., 1, rows, columns) each block is
// one hyperslab read, so that only the requested cells are read; any other
// layout with that many values is read whole once, in file order, and blocks
// are cut from memory.  `read` returns the library status.
template <typename T>
class GridBlocks {
 public:
  GridBlocks(const NcFile& nc, int varid, std::size_t rows, std::size_t columns)
      : nc_(nc), varid_(varid), columns_(columns) {
    std::vector<std::size_t> lengths;
    status_ = nc.var_shape(varid, lengths);
    if (status_ != NC_NOERR) return;
    const std::size_t rank = lengths.size();
    sliced_ = rank >= 2 && lengths[rank - 1] == columns && lengths[rank - 2] == rows &&
              std::all_of(lengths.begin(), lengths.end() - 2, [](std::size_t n) { return n == 1; });
    if (sliced_) {
      start_.assign(rank, 0);
      count_.assign(rank, 1);
    } else {
      whole_.resize(rows * columns);
      status_ = nc.read(varid, std::span<T>(whole_));
    }
  }

  int read(std::size_t row, std::size_t row_count, std::size_t column, std::size_t column_count,
           std::span<T> values) {
    if (status_ != NC_NOERR) return status_;
    if (sliced_) {
      const std::size_t rank = start_.size();
      start_[rank - 2] = row;
      start_[rank - 1] = column;
      count_[rank - 2] = row_count;
      count_[rank - 1] = column_count;
      return nc_.read_slab(varid_, start_, count_, values);
    }
    for (std::size_t r = 0; r < row_count; ++r) {
      const auto from = whole_.begin() + static_cast<std::ptrdiff_t>((row + r) * columns_ + column);
      std::copy(from, from + static_cast<std::ptrdiff_t>(column_count),
                values.begin() + static_cast<std::ptrdiff_t>(r * column_count));
    }
    return NC_NOERR;
  }

 private:
  const NcFile& nc_;
  int varid_;
  std::size_t columns_;
  int status_ = NC_NOERR;
  bool sliced_ = false;
  std::vector<std::size_t> start_, count_;
  std::vector<T> whole_;
};

// Ring cells of a child grid variable, rows reversed.
// Contract: `ring` describes an ixrt by jxrt grid (both >= 1); `values` is
// sized to ring.size() elements once the variable is known to hold ixrt *
// jxrt values (so dimensions that the variable does not use cost nothing).  The file stores row j (from the south) as its
// row jxrt - j + 1, so the southern ring row is the last stored row and the
// northern one the first; the west and east columns are read for the stored
// rows 2..jxrt-1.  On return every ring cell holds its value; every failure
// ends the run.  Cost: four hyperslab reads of one row or column each
// (O(ixrt + jxrt) values), or one whole read for an unusual layout.
template <typename T>
void read_ring_cells(std::string_view file_name, std::string_view var_name, const Ring& ring,
                     std::vector<T>& values) {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  NcFile nc;
  const int varid = open_grid_variable<T>(nc, file, var);
  const auto ixrt = static_cast<std::size_t>(ring.columns());
  const auto jxrt = static_cast<std::size_t>(ring.rows());
  require_count(reader_name<T>(), nc, varid, file, var, ixrt * jxrt);
  values.assign(ring.size(), T{});

  GridBlocks<T> blocks(nc, varid, jxrt, ixrt);
  std::vector<T> buffer(std::max(ixrt, jxrt));
  auto fetch = [&](std::size_t row, std::size_t row_count, std::size_t column,
                   std::size_t column_count) {
    std::span<T> part(buffer.data(), row_count * column_count);
    const int status = blocks.read(row, row_count, column, column_count, part);
    if (status != NC_NOERR) read_failed<T>(file, var, status);
    return part;
  };
  auto take_row = [&](std::size_t stored_row, std::int32_t j) {
    const std::span<T> row = fetch(stored_row, 1, 0, ixrt);
    for (std::int32_t i = 1; i <= ring.columns(); ++i) values[ring.index(i, j)] = row[i - 1];
  };
  auto take_column = [&](std::int32_t i) {
    // Stored rows 2..jxrt-1 hold rows jxrt-1 down to 2.
    const std::span<T> column = fetch(1, jxrt - 2, static_cast<std::size_t>(i - 1), 1);
    for (std::size_t k = 0; k < column.size(); ++k) {
      values[ring.index(i, ring.rows() - 1 - static_cast<std::int32_t>(k))] = column[k];
    }
  };

  take_row(jxrt - 1, 1);
  if (jxrt >= 2) take_row(0, ring.rows());
  if (jxrt >= 3) {
    take_column(1);
    if (ixrt >= 2) take_column(ring.columns());
  }
  close_grid_file(reader_name<T>(), nc, file);
}

}  // namespace

void read_ring(std::string_view file, std::string_view var, const Ring& ring,
               std::vector<std::int32_t>& values) {
  read_ring_cells(file, var, ring, values);
}

void read_ring(std::string_view file, std::string_view var, const Ring& ring,
               std::vector<float>& values) {
  read_ring_cells(file, var, ring, values);
}

float read_first_real(std::string_view file_name, std::string_view var_name, std::int32_t ix,
                      std::int32_t jx) {
  const std::string file = trim_name(file_name);
  const std::string var = trim_name(var_name);
  NcFile nc;
  const int varid = open_grid_variable<float>(nc, file, var);
  const std::size_t count = static_cast<std::size_t>(ix) * static_cast<std::size_t>(jx);
  require_count(reader_name<float>(), nc, varid, file, var, count);
  // A field without cells has no cell (1, 1) to anchor the projection on.
  if (count == 0) {
    note_failure_place(file, var, msg::kNoValuesReason);
    out().record(msg::kNoValuesHead, var, msg::kIn, file, msg::kNoValuesTail);
    text_stop(msg::kRealReadStop);
  }
  std::vector<std::size_t> lengths;
  int status = nc.var_shape(varid, lengths);
  float value = 0.0f;
  if (status == NC_NOERR) {
    const std::vector<std::size_t> start(lengths.size(), 0);
    const std::vector<std::size_t> one(lengths.size(), 1);
    status = lengths.empty() ? nc.read(varid, std::span<float>(&value, 1))
                             : nc.read_slab(varid, start, one, std::span<float>(&value, 1));
  }
  if (status != NC_NOERR) read_failed<float>(file, var, status);
  close_grid_file(reader_name<float>(), nc, file);
  return value;
}

}  // namespace rn::linkweaver
