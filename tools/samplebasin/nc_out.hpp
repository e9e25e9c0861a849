// The generator's netCDF writer: classic format, or netCDF-4 with
// compressed variables, written under a temporary name and renamed into
// place when complete (no failure leaves a partial file).  Every library
// status is checked; a failure ends the program with one message naming the
// file and the library's text, exit status 1.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_output.hpp"
#include "grid.hpp"

namespace sb {

enum class NcFormat {
  classic,     ///< classic format, as most model input files
  compressed,  ///< netCDF-4, variables deflated (as channel outputs and forcing commonly are)
};

class NcOut {
 public:
  NcOut(std::string_view path, NcFormat format);
  ~NcOut();  ///< an uncommitted file is abandoned and removed
  NcOut(const NcOut&) = delete;
  NcOut& operator=(const NcOut&) = delete;

  int dim(std::string_view name, std::size_t length);
  /// Defines a variable over dimensions in CDL order; compressed files
  /// deflate it (level 1, bytes shuffled) in chunks of whole rows.
  int var(std::string_view name, nc_type type, std::initializer_list<int> dims);

  void att(int varid, std::string_view name, std::string_view text);
  void att(int varid, std::string_view name, float value);
  void att(int varid, std::string_view name, std::int32_t value);
  void enddef();

  /// Writes a whole variable.
  void put(int varid, std::span<const float> values);
  void put(int varid, std::span<const std::int32_t> values);
  void put(int varid, std::span<const double> values);

  /// Writes a 2-D field (any leading dimensions of length 1) from a grid
  /// stored south row first; with `north_first` the file gets the northern
  /// row first.  Converts cell values with `convert`.
  template <typename T, typename Convert>
  void put_grid(int varid, const Grid<T>& grid, bool north_first, Convert convert);

  /// Writes `rows` whole rows of a 2-D variable (any leading dimensions of
  /// length 1) from 0-based row `first_row`, `columns` values each.
  void put_rows(int varid, std::size_t first_row, std::size_t rows, std::size_t columns,
                const float* values);

  /// Closes the file and renames it into place.
  void commit();

  const std::string& path() const { return output_.target(); }

 private:
  void check(int status, std::string_view what) const;
  void put_rows(int varid, std::size_t first_row, std::size_t rows, std::size_t columns,
                const std::int32_t* values);

  rn::AtomicOutput output_;
  NcFormat format_;
  int ncid_ = -1;
  std::vector<std::size_t> dim_length_;
};

template <typename T, typename Convert>
void NcOut::put_grid(int varid, const Grid<T>& grid, bool north_first, Convert convert) {
  using Out = decltype(convert(grid.v[0]));
  const std::size_t block = std::max<std::size_t>(1, (std::size_t{1} << 20) / std::max(grid.nx, 1));
  std::vector<Out> buffer;
  const auto ny = static_cast<std::size_t>(grid.ny);
  const auto nx = static_cast<std::size_t>(grid.nx);
  for (std::size_t first = 0; first < ny; first += block) {
    const std::size_t rows = std::min(block, ny - first);
    buffer.resize(rows * nx);
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t j = north_first ? ny - 1 - (first + r) : first + r;
      const T* src = grid.v.data() + j * nx;
      for (std::size_t i = 0; i < nx; ++i) buffer[r * nx + i] = convert(src[i]);
    }
    put_rows(varid, first, rows, nx, buffer.data());
  }
}

}  // namespace sb
