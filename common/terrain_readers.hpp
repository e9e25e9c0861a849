// The terrain readers (`module_functions`) and the point-extraction
// program's variants of them.
//
// Terrain 2-D readers take a fatal flag (absent = off).  Each failing step
// writes one record; with the flag on, `hydro_stop` follows with the same
// message ("Stoped du to " + message, code stop 999); with it off the reader
// returns.  Messages are assembled in a 256-character buffer: a longer one is
// cut at 256 characters.
//
// A variable whose element count differs from ix * jx (or from `n`) ends the
// program with a record naming the file, the variable and both counts and
// exit status 1, whatever the fatal flag: nothing is ever read past the
// caller's array.  A variable with a further leading dimension of length 1
// (one time step) reads like the plain 2-D field.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace rn {

/// Value given to every element of a real field when its file cannot be
/// opened and the fatal flag is off.
inline constexpr float kMissingTerrain = -9999.0f;

namespace terrain {

/// Lengths of `west_east` (ix) and `south_north` (jx); writes the record
/// "ixrt = " ix " jxrt =" jx.  Unopenable file or missing dimension: its
/// message and code stop 888.
void get_dim(std::string_view file, std::int32_t& ix, std::int32_t& jx);

/// Record " reading variable " + name, then `get2d_int` / `get2d_real`.
void readrt2d_int(std::string_view var, std::span<std::int32_t> values, std::int32_t ix,
                  std::int32_t jx, std::string_view file, int fatal = 0);
void readrt2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
                   std::int32_t jx, std::string_view file, int fatal = 0);

/// Reads the whole variable as integers into a(i, j) of ix by jx.  Returns -1
/// after a failed open, lookup or read (flag off), else 0.
int get2d_int(std::string_view var, std::span<std::int32_t> values, std::int32_t ix,
              std::int32_t jx, std::string_view file, int fatal = 0);

/// Reads the variable, or failing that the variable named with "_M"
/// appended, as reals.  Returns -1 after a failed open (array set to
/// -9999.0), lookup or read, else 0 (a failed close still returns 0).
int get2d_real(std::string_view var, std::span<float> values, std::int32_t ix,
               std::int32_t jx, std::string_view file, int fatal = 0);

/// Read the whole variable into elements 1..n of the array.  The open status
/// is not examined (an unopenable file shows as a failed lookup); a failed
/// lookup or read writes its record and ends with a plain stop (status 1).
void get_1d_netcdf_int(std::string_view file, std::string_view var,
                       std::span<std::int32_t> values, std::int32_t n);
void get_1d_netcdf_real(std::string_view file, std::string_view var, std::span<float> values,
                        std::int32_t n);
void get_1d_netcdf_real8(std::string_view file, std::string_view var,
                         std::span<double> values, std::int32_t n);

}  // namespace terrain

// The point-extraction program carries, besides the two readers below, the
// module reader `get1d_real` (ModuleReaders in its plain form, nc_readers.hpp)
// and the `hydro_stop` form that writes its message and ends with a plain
// stop (`hydro_stop_plain`, hydro_stop.hpp).
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

/// Length of a dimension with a found flag: `found` = 1 and the length set,
/// or `found` = -1 and `length` untouched when the dimension is absent.  The
/// file is closed on both outcomes.  A file that cannot be opened and a
/// length that cannot be read end the program as `get_file_dimension` does.
void get_file_dimension0(std::string_view file, std::string_view dim, std::int32_t& length,
                         std::int32_t& found);

}  // namespace site_readers
}  // namespace rn
