// The module readers: one call per field, each opening its file read-only,
// finding the variable or dimension by name, reading it whole and closing
// the file.  A reader that cannot do its job writes its message records on
// standard output and ends the program; nothing is returned to the caller.
//
// Every program carries the same readers; they differ only in the form of
// `get_file_dimension`, chosen when the `ModuleReaders` object is made:
//
//   reachfeed, cellfeed, siteseries, linkweaver    DimensionForm::plain
//   flowglobe, flowglobe_max                       DimensionForm::size_fallback
//   flowglobe_drv1, flowglobe_seg, gaugeglobe      DimensionForm::file_echo
//
// Failures and their ends (stop texts go to the error stream):
//   file cannot be opened, name not found  the message records, then a text
//                                           stop, exit status 1;
//   variable holds another number of       a record naming the file, the
//     values than the caller's array        variable and both counts, then a
//                                           text stop, exit status 1 (nothing
//                                           is read);
//   failed read or close                   a record with the library's error
//                                           text, then a text stop, status 1;
//   dimension longer than a 32-bit integer a record naming it, text stop,
//                                           status 1;
//   `handle_err`                            "Error: " + library text, code
//                                           stop 2.
//
// File, variable and dimension names are trimmed of trailing blanks (and cut
// at 256 characters) before use; messages show the trimmed names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rn {

class NcFile;

/// How `get_file_dimension` treats a missing dimension and a missing file.
enum class DimensionForm {
  plain,          ///< no fallback, no file echo
  size_fallback,  ///< a missing dimension is looked up as "size"; file echo on open failure
  file_echo,      ///< record " file= " + file name before the open-failure stop
};

/// Reports a failed library status: the record "Error: " followed by the
/// library's text blank-padded or cut to 80 characters, then code stop 2.
[[noreturn]] void handle_err(int status);

class ModuleReaders {
 public:
  explicit ModuleReaders(DimensionForm form = DimensionForm::plain) : form_(form) {}

  /// Reads the whole variable as 32-bit integers; `values` must hold exactly
  /// the variable's element count.
  void get1d_int(std::string_view file, std::string_view var,
                 std::span<std::int32_t> values) const;
  /// The same as 32-bit reals (no scale factor applied).
  void get1d_real(std::string_view file, std::string_view var, std::span<float> values) const;
  /// The same as 64-bit reals.
  void get1d_real8(std::string_view file, std::string_view var,
                   std::span<double> values) const;
  /// The same into `values`, sized to `count` values only once the variable
  /// is found and holds `count` values: a dimension that the variable does
  /// not use costs no memory.
  void get1d_int(std::string_view file, std::string_view var, std::vector<std::int32_t>& values,
                 std::size_t count) const;
  void get1d_real(std::string_view file, std::string_view var, std::vector<float>& values,
                  std::size_t count) const;
  void get1d_real8(std::string_view file, std::string_view var, std::vector<double>& values,
                   std::size_t count) const;
  /// A 2-D integer field a(i, j), i fastest, read whole in file order:
  /// `values` holds every cell of it (Grid2D::values()).  Part of the globe
  /// tools' readers; no program reads a 2-D field through it today.
  void get2d_int(std::string_view file, std::string_view var,
                 std::span<std::int32_t> values) const;

  /// `get1d_real` into `values` (sized to `count` as above) and, from the
  /// same read of the stored values, the variable's missing values
  /// (missing_values.hpp): 1 in `missing` for each, 0 for the others, in
  /// file order.  Returns how many there are.  Failures end the program as
  /// `get1d_real`'s do.
  std::size_t get1d_real_and_missing(std::string_view file, std::string_view var,
                                     std::vector<float>& values,
                                     std::vector<std::uint8_t>& missing, std::size_t count) const;

  /// Reads the real attribute `att` of variable `var` into `result`.  Returns
  /// false, says nothing and leaves `result` as it was when the variable has
  /// no such attribute.
  bool getvarattreal(std::string_view file, std::string_view var, std::string_view att,
                     float& result) const;

  /// Length of dimension `dim` of the file, in the form chosen above.
  std::int32_t get_file_dimension(std::string_view file, std::string_view dim) const;

 private:
  DimensionForm form_;
};

// ---- Failure ends shared by every reader family (also for the programs'
// ---- own readers built on `NcFile`).  Each writes one record on standard
// ---- output, then a text stop "In <reader>() - ..." with exit status 1.

/// A variable holding `count` values where the caller's array holds
/// `expected`: record "Error: variable <var> in <file> holds <count> values,
/// the array holds <expected>"; text stop "In <reader>() - variable size does
/// not match the array".
[[noreturn]] void stop_count_mismatch(std::string_view reader, std::string_view file,
                                      std::string_view var, std::size_t count,
                                      std::size_t expected);
/// A failed read: record "Error: failed to read variable <var> in <file>: "
/// + library text; text stop "In <reader>() - failed to read the netcdf
/// variable".
[[noreturn]] void stop_read_failure(std::string_view reader, std::string_view file,
                                    std::string_view var, int status);
/// A failed close: record "Error: failed to close the netcdf file <file>: "
/// + library text; text stop "In <reader>() - failed to close the netcdf
/// file".
[[noreturn]] void stop_close_failure(std::string_view reader, std::string_view file,
                                     int status);
/// A dimension longer than a 32-bit signed integer: record "Error: dimension
/// <dim> in <file> has length <length>, more than a 32-bit integer holds";
/// text stop "In <reader>() - dimension too long".
[[noreturn]] void stop_long_dimension(std::string_view reader, std::string_view file,
                                      std::string_view dim, std::size_t length);

/// A variable read at its own size that holds more values than a 32-bit
/// count: record "Error: variable <var> in <file> holds <count> values,
/// more than a 32-bit integer holds"; text stop "In <reader>() - variable
/// too long".
[[noreturn]] void stop_long_variable(std::string_view reader, std::string_view file,
                                     std::string_view var, std::size_t count);

/// Checks that variable `varid` of `nc` holds `expected` values; ends the
/// program through `stop_count_mismatch` (or `stop_read_failure` when its
/// shape cannot be read) otherwise.
void require_count(std::string_view reader, const NcFile& nc, int varid,
                   std::string_view file, std::string_view var, std::size_t expected);

/// A dimension length as a 32-bit integer, or `stop_long_dimension`.
std::int32_t int32_length(std::string_view reader, std::string_view file,
                          std::string_view dim, std::size_t length);

}  // namespace rn
