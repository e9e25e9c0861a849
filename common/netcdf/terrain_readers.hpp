// The terrain readers (`module_functions`) and the point-extraction
// program's variants of them.
//
// The terrain readers end no program: a read that fails returns a
// description of the failure (`ReadFailure`: its kind and the reader's
// message), and the program that called decides which records to write and
// how to end.  They write only their progress records ("ixrt = ",
// " reading variable ").  Messages are assembled in a 256-character buffer: a
// longer one is cut at 256 characters.
//
// A variable whose element count differs from ix * jx (or from `n`), a
// dimension longer than a 32-bit integer and a failing length inquiry end
// the program through the shared reader failure ends (nc_readers.hpp,
// exit status 1): nothing is ever read past the caller's array.  A variable
// with a further leading dimension of length 1 (one time step) reads like the
// plain 2-D field.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "program_end.hpp"

namespace rn {

/// Where a 2-D reader puts a field's values: asked for only once the
/// variable has been found and holds ix * jx values (or after a failed open,
/// by a reader that fills), so that a file whose dimensions claim a larger
/// grid than its variable holds costs no memory.  Returns room for at least
/// ix * jx values.
template <typename T>
using FieldStorage = std::function<std::span<T>()>;

/// Value given to every element of a real field when its file cannot be
/// opened.
inline constexpr float kMissingTerrain = -9999.0f;

namespace terrain {

/// A terrain read that did not complete.
struct ReadFailure {
  enum class Kind : std::uint8_t {
    none,
    grid_file,  ///< get_dim could not open the file; `message` is a plain line
    refused_file,  ///< the same for a damaged file refused before it was parsed
    dimension,  ///< get_dim found no `west_east` or no `south_north`
    field,      ///< a 2-D reader failed to open, find, read or close
  };
  Kind kind = Kind::none;
  std::string message;  ///< the reader's message (cut at 256 characters)
  FailurePlace place;   ///< the file, dimension or variable and the library's reason

  explicit operator bool() const { return kind != Kind::none; }
};

/// Lengths of `west_east` (ix) and `south_north` (jx); writes the record
/// "ixrt = " ix " jxrt =" jx.  An unopenable file or a missing dimension is
/// returned (ix and jx untouched).
ReadFailure get_dim(std::string_view file, std::int32_t& ix, std::int32_t& jx);

/// The record "ixrt = " ix " jxrt =" jx alone, for a grid whose shape comes
/// from elsewhere (a raster).
void echo_dims(std::int32_t ix, std::int32_t jx);

/// Record " reading variable " + name, then `get2d_int` / `get2d_real` into
/// the storage, asked for only once the variable is found and holds ix * jx
/// values (FieldStorage).
ReadFailure readrt2d_int(std::string_view var, const FieldStorage<std::int32_t>& storage,
                         std::int32_t ix, std::int32_t jx, std::string_view file);
ReadFailure readrt2d_real(std::string_view var, const FieldStorage<float>& storage,
                          std::int32_t ix, std::int32_t jx, std::string_view file);

/// Reads the whole variable as integers into a(i, j) of ix by jx.  Returns
/// the first failing step (open, lookup, read, close), if any.
ReadFailure get2d_int(std::string_view var, std::span<std::int32_t> values, std::int32_t ix,
                      std::int32_t jx, std::string_view file);

/// Reads the variable, or failing that the variable named with "_M"
/// appended, as reals.  Returns the first failing step, if any; after a
/// failed open the array is set to -9999.0.
ReadFailure get2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
                       std::int32_t jx, std::string_view file);

/// Read the whole variable into elements 1..n of the array.  The open status
/// is not examined (an unopenable file shows as a failed lookup); a failed
/// lookup or read writes its record and ends with a plain stop (status 1).
/// Part of the terrain reader family that no program calls today; kept for
/// programs that read 1-D terrain fields.
void get_1d_netcdf_int(std::string_view file, std::string_view var,
                       std::span<std::int32_t> values, std::int32_t n);
void get_1d_netcdf_real(std::string_view file, std::string_view var, std::span<float> values,
                        std::int32_t n);
void get_1d_netcdf_real8(std::string_view file, std::string_view var,
                         std::span<double> values, std::int32_t n);

}  // namespace terrain

// The point-extraction program carries, besides the two readers below, the
// module reader `get1d_real` (ModuleReaders in its plain form, nc_readers.hpp)
// and the end that writes its message as one record and stops with the
// failure status (`record_stop`, program_end.hpp).
namespace site_readers {

/// Rows of a field to read: 1-based `first` to `last`, inclusive.  The
/// default is the whole field.
struct RowWindow {
  std::int32_t first = 1;
  std::int32_t last = -1;  ///< -1: up to the last row (jx)
};

/// The point-extraction program's `get2d_real`: the terrain steps, messages
/// and "_M" fallback without a fatal flag.  A file that cannot be opened:
/// message, then plain stop (status 1).  A failed lookup or read: message,
/// return, no -9999.0 filling (a failed lookup leaves the array untouched).
/// A failed close: message, return with the data read.
/// With a row window only rows first..last are read, into a(1..ix,
/// first..last); the other rows keep their values.  The variable must still
/// hold ix * jx values.
void get2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
                std::int32_t jx, std::string_view file, RowWindow rows = {});

/// The same, reading only the rows of the given windows (each clamped to the
/// grid, read in the given order within one open of the file; no window, no
/// row read).  Lookup, count check and messages as above.  Returns 0, or -1
/// after a failed lookup or read.
int get2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
               std::int32_t jx, std::string_view file, std::span<const RowWindow> rows);
/// The same into storage asked for only once the variable holds ix * jx
/// values (FieldStorage).
int get2d_real(std::string_view var, const FieldStorage<float>& storage, std::int32_t ix,
               std::int32_t jx, std::string_view file, std::span<const RowWindow> rows);

/// Length of a dimension with a found flag: `found` = 1 and the length set,
/// or `found` = -1 and `length` untouched when the dimension is absent.  The
/// file is closed on both outcomes.  A file that cannot be opened and a
/// length that cannot be read end the program as `get_file_dimension` does.
void get_file_dimension0(std::string_view file, std::string_view dim, std::int32_t& length,
                         std::int32_t& found);

}  // namespace site_readers
}  // namespace rn
