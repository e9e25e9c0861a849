// The netCDF output writer of the programs: a classic-format (or, for the
// site series, netCDF-4) file created with overwrite, written atomically (see
// atomic_output.hpp).
//
// Usage: make the writer with the output name, define dimensions, variables
// and attributes, `enddef`, `put` every fixed-size variable whole (record
// variables whole or by `put_slab`), `commit`.  Every failing
// library call goes to `handle_err` ("Error: " + the library's text, code
// stop 2; the failure line on the error stream names the output) and leaves
// no file behind; an existing file of that name keeps its content until
// `commit` replaces it.  An output that cannot be created at all (no such
// folder, no write permission) ends as the writer is told (`CreateFailure`).
//
// A dimension defined with length 0 is the unlimited dimension, as the
// classic format has it: its variables then hold no records.  The writer
// does not pre-fill the variables of a classic file with fill values; every
// defined variable must therefore be written whole before `commit` (the
// result is the same file a pre-filling writer would give).  In a netCDF-4
// file, the parts of record variables never written read as the fill value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "atomic_output.hpp"

namespace rn {

enum class NcVarType { int32, real32, real64, text };

/// The file format: classic (CDF-1); 64-bit offset (CDF-2), for files whose
/// variables begin past 2 GiB; 64-bit data (CDF-5), for variables of 4 GiB
/// and more that are not the last; netCDF-4 (HDF5, chunked storage).
enum class NcFormat { classic, offset64, data64, netcdf4 };

/// The variable id that stands for the file itself in `put_att`.
inline constexpr int kGlobalAttributes = -1;

/// How a run ends when its output cannot be created (a missing or
/// read-only folder).  Both first write "Error: cannot create output file
/// <name>: <system error>" on the error stream.
enum class CreateFailure {
  failure_status,  ///< then exit status 1
  library_error,   ///< then as a failed library call: the record "Error: " + the
                   ///< system's text (`handle_err`), code stop 2
};

/// I/O buffer size for outputs of up to about half a megabyte (the child
/// boundary file, the mapping index cache).  Measured (bench_output_buffer):
/// such files are written about as fast as with the 1 MiB buffer or faster,
/// and up to twice as fast as with the library's own choice (a few kB).
inline constexpr std::size_t kSmallIoChunkBytes = std::size_t{64} << 10;

class NcWriter {
 public:
  /// Creates the output (classic format, NC_CLOBBER) under a temporary name
  /// beside `path`, with the large I/O buffer kIoChunkBytes (1 MiB).  Use it
  /// for outputs of more than about half a megabyte (terrain grids, mapping
  /// files), which it writes in few large system calls.
  explicit NcWriter(std::string_view path);
  /// The same with the I/O buffer size `io_chunk_bytes` for this file (0:
  /// the library's own choice).  Pass kSmallIoChunkBytes for outputs of up
  /// to about half a megabyte, where setting up the 1 MiB buffer costs more
  /// than it saves.  The buffer size changes only how the file is written,
  /// never a byte of its content.
  NcWriter(std::string_view path, std::size_t io_chunk_bytes,
           CreateFailure on_create_failure = CreateFailure::failure_status,
           NcFormat format = NcFormat::classic);
  ~NcWriter();  ///< an uncommitted output is closed and removed
  NcWriter(const NcWriter&) = delete;
  NcWriter& operator=(const NcWriter&) = delete;

  /// Defines a dimension; length 0 = the unlimited dimension.  Returns its id.
  int def_dim(std::string_view name, std::size_t length);
  /// Defines a variable over dimensions given in CDL order.  Returns its id.
  int def_var(std::string_view name, NcVarType type, std::initializer_list<int> dimids);
  int def_var(std::string_view name, NcVarType type, std::span<const int> dimids);
  /// Attributes of a variable, or of the file with kGlobalAttributes.  A
  /// number is stored in the type of its argument; a `_FillValue` must have
  /// the variable's type.
  void put_att(int varid, std::string_view name, std::string_view text);
  void put_att(int varid, std::string_view name, const char* text) {
    put_att(varid, name, std::string_view(text));
  }
  void put_att(int varid, std::string_view name, float value);
  void put_att(int varid, std::string_view name, double value);
  void put_att(int varid, std::string_view name, std::int32_t value);
  /// netCDF-4 only: chunked storage with chunks of `chunk` values along each
  /// dimension (CDL order).
  void def_chunking(int varid, std::span<const std::size_t> chunk);
  /// Leaves define mode.
  void enddef();

  /// Writes a whole variable; `values.size()` must equal its element count
  /// (0 records for a variable of the unlimited dimension).
  void put(int varid, std::span<const std::int32_t> values);
  void put(int varid, std::span<const float> values);
  void put(int varid, std::span<const double> values);
  void put(int varid, std::span<const char> values);
  /// Writes the hyperslab start..start+count-1 (CDL order) of a variable;
  /// `values.size()` must equal the product of `count`.
  void put_slab(int varid, std::span<const std::size_t> start, std::span<const std::size_t> count,
                std::span<const float> values);
  void put_slab(int varid, std::span<const std::size_t> start, std::span<const std::size_t> count,
                std::span<const std::int32_t> values);
  void put_slab(int varid, std::span<const std::size_t> start, std::span<const std::size_t> count,
                std::span<const double> values);
  /// The same, looking the variable up by name first.
  void put(std::string_view name, std::span<const std::int32_t> values);
  void put(std::string_view name, std::span<const float> values);
  void put(std::string_view name, std::span<const char> values);

  /// Closes the file and renames it into place.
  void commit();

  const std::string& target() const { return output_.target(); }
  int ncid() const { return ncid_; }

 private:
  /// `handle_err` for a failed library status, the output named first.
  void check(int status) const;
  template <typename T>
  void put_values(int varid, std::span<const T> values);
  template <typename T>
  void put_part(int varid, std::span<const std::size_t> start, std::span<const std::size_t> count,
                std::span<const T> values);
  int lookup(std::string_view name) const;

  AtomicOutput output_;
  int ncid_ = -1;
  std::vector<std::size_t> var_counts_;  // per varid, fixed-size element count
  std::vector<bool> var_record_;          // per varid, true when over the unlimited dimension
  std::vector<bool> written_;
  std::vector<std::size_t> dim_lengths_;
};

}  // namespace rn
