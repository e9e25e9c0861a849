// Read-only access to one netCDF file, without any program end.
//
// `NcFile` owns an open file handle and closes it when it goes out of scope.
// Every call returns the library status (0 = success) and never ends the
// program, so that callers decide which message to write and how to stop:
// the module readers, the terrain readers and the program-specific readers
// of the mapping builder and the nesting tools are all built on it.
//
// Whole-variable and hyperslab reads go into a caller span and only when the
// span holds exactly the number of values that the read delivers; otherwise
// nothing is read and `kCountMismatch` is returned.  A classic-format file
// shorter than its header says (cut off by a full disk or an interrupted
// copy) would read as zeros: the input check refuses it at the open, and a
// variable whose data reach past the end of a file cut after the open is
// not read, `kTruncated` is returned.  The library converts the
// stored type to the requested one (a 16-bit integer variable read as reals
// yields its integers as reals); packing attributes are never applied.
#pragma once

#include <netcdf.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rn {

/// Statuses of this handle beyond the library's own (all negative, below the
/// library's range).  `nc_error_text` knows them.
inline constexpr int kCountMismatch = -1001;  ///< span size differs from the value count
inline constexpr int kCountOverflow = -1002;  ///< element count exceeds the address range
inline constexpr int kShapeMismatch = -1003;  ///< start/count do not fit the variable's shape
inline constexpr int kTruncated = -1004;      ///< the variable's data lie past the end of the file
/// The input check (nc_input_check.hpp) refused the file before the library
/// saw it; `open` has written the reason on the error stream.
inline constexpr int kRefusedInput = -1005;

/// I/O buffer size asked of the library for classic-format files: whole
/// grids of tens of megabytes read (and write) about three times faster than
/// with the library's default buffer, at a cost of well under a millisecond
/// per open.
inline constexpr std::size_t kIoChunkBytes = std::size_t{1} << 20;
/// A file smaller than kIoChunkBytes is read through a buffer of its length
/// rounded up to a multiple of this.
inline constexpr std::size_t kIoChunkStep = 4096;

/// The library's error text for a status (also for the statuses above).
std::string nc_error_text(int status);

/// Product of dimension lengths; false when it does not fit `std::size_t`.
bool checked_count(std::span<const std::size_t> lengths, std::size_t& count);

class NcFile {
 public:
  NcFile() = default;
  ~NcFile();
  NcFile(NcFile&& other) noexcept;
  NcFile& operator=(NcFile&& other) noexcept;
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;

  /// Opens `path` read-only (mode NC_NOWRITE); a file already open here is
  /// closed first.  The file is checked before the library parses it
  /// (nc_input_check.hpp): a damaged or unsafe file is refused with
  /// kRefusedInput, after one line on the error stream naming the file and
  /// what is wrong with it.  The path is handed to the library as it stands.
  int open(const std::string& path);
  /// Closes the file; afterwards the handle is empty.  Closing an empty
  /// handle returns NC_EBADID.
  int close();
  bool is_open() const { return ncid_ >= 0; }
  /// The library's file id (-1 when nothing is open).
  int ncid() const { return ncid_; }

  // ---- dimensions ----
  int dim_id(std::string_view name, int& id) const;
  int dim_length(int dimid, std::size_t& length) const;
  /// Lookup and length in one call.
  int dim_length(std::string_view name, std::size_t& length) const;

  // ---- variables ----
  int var_id(std::string_view name, int& id) const;
  bool has_var(std::string_view name) const;
  /// Storage type of a variable (NC_SHORT, NC_INT, NC_FLOAT, ...).
  int var_type(int varid, nc_type& type) const;
  /// Dimension ids of a variable, in CDL order (slowest first).
  int var_dims(int varid, std::vector<int>& dimids) const;
  /// Lengths of the dimensions of a variable, in CDL order; a record
  /// variable counts the records written so far.
  int var_shape(int varid, std::vector<std::size_t>& lengths) const;
  /// Total element count of a variable (1 for a scalar); kCountOverflow when
  /// the product does not fit.
  int var_count(int varid, std::size_t& count) const;

  /// Reads the whole variable.  `values.size()` must equal `var_count`.
  int read(int varid, std::span<std::int32_t> values) const;
  int read(int varid, std::span<float> values) const;
  int read(int varid, std::span<double> values) const;
  /// Reads the whole variable as stored, without conversion (native byte
  /// order).  `bytes.size()` must equal the element count times the size of
  /// the storage type.
  int read_stored(int varid, std::span<std::byte> bytes) const;

  /// Reads the hyperslab start..start+count-1 (one entry per dimension, CDL
  /// order, 0-based).  `values.size()` must equal the product of `count`;
  /// kShapeMismatch when start/count have the wrong rank or leave the
  /// variable.
  int read_slab(int varid, std::span<const std::size_t> start,
                std::span<const std::size_t> count, std::span<std::int32_t> values) const;
  int read_slab(int varid, std::span<const std::size_t> start,
                std::span<const std::size_t> count, std::span<float> values) const;
  int read_slab(int varid, std::span<const std::size_t> start,
                std::span<const std::size_t> count, std::span<double> values) const;

  /// Reads `row_count` whole rows from 0-based row `first_row` of a gridded
  /// variable (last dimension = columns, the one before = rows; every
  /// further leading dimension, such as a time dimension, must have length
  /// 1, else kShapeMismatch).  `values` receives row_count * columns values.
  int read_rows(int varid, std::size_t first_row, std::size_t row_count,
                std::span<std::int32_t> values) const;
  int read_rows(int varid, std::size_t first_row, std::size_t row_count,
                std::span<float> values) const;
  /// The same rows as stored, without conversion (native byte order);
  /// `bytes` receives row_count * columns values of the storage type.
  int read_stored_rows(int varid, std::size_t first_row, std::size_t row_count,
                       std::span<std::byte> bytes) const;

  // ---- attributes ----
  /// First value of a numeric attribute of a variable, as a 32-bit real.
  /// NC_ENOTATT when absent (or empty); `value` is untouched on failure.
  int var_att_real(int varid, std::string_view name, float& value) const;
  /// The same for a global attribute.
  int global_att_real(std::string_view name, float& value) const;
  /// A text attribute of a variable, or of the file with NC_GLOBAL;
  /// NC_ENOTATT when absent, NC_ECHAR when it is not text.
  int att_text(int varid, std::string_view name, std::string& text) const;

 private:
  template <typename T>
  int read_whole(int varid, std::span<T> values) const;
  // `value_bytes`: bytes per value of `values` (above 1 only for reads as
  // stored into bytes).
  template <typename T>
  int read_part(int varid, std::span<const std::size_t> start,
                std::span<const std::size_t> count, std::span<T> values,
                std::size_t value_bytes = 1) const;
  template <typename T>
  int read_row_range(int varid, std::size_t first_row, std::size_t row_count,
                     std::span<T> values, std::size_t value_bytes = 1) const;
  int att_real(int varid, std::string_view name, float& value) const;
  /// kTruncated when the data of `varid` reach past the end of the file.
  int check_present(int varid) const;

  int ncid_ = -1;
  // Classic formats only: where each variable's data end, and the file's
  // length when it was opened (empty for other formats).
  std::vector<std::uint64_t> data_ends_;
  std::uint64_t file_size_ = 0;
};

}  // namespace rn
