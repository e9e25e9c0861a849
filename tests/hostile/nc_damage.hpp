// Damaged copies of netCDF files: a file rewritten through the library with
// one fault put in, the way other tools, hand edits and full disks damage
// the inputs of the programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace rn::test {

/// On-disk format of a rewritten file.
enum class NcKind { same, classic, netcdf4 };

/// What to change while copying.  Every field left at its default copies
/// that part unchanged.
struct NcEdit {
  NcKind kind = NcKind::same;

  /// Variable whose last dimension is replaced by a new dimension of
  /// `count_delta` more values (fewer when negative); the values that fit
  /// are copied.
  std::string recount_var;
  long count_delta = -1;

  /// Variable stored as text (NC_CHAR) over its own dimensions: a number is
  /// due where the file holds characters.
  std::string text_var;

  /// Dimension made unlimited with no records, so that every variable over
  /// it holds no values (netCDF-4 when the classic format cannot hold it).
  std::string empty_dim;

  /// Dimensions given new (huge) lengths; the file becomes netCDF-4 and the
  /// variables over them are defined, chunked, without data.
  std::map<std::string, std::size_t> huge_dims;

  /// Dimensions no variable uses, each given the length: the variables over
  /// them keep their values over a new dimension "<name>_held" of the old
  /// length.  The file becomes classic and carries a global text attribute
  /// as long as the longest of them, so that the check before the library
  /// (no dimension longer than the file) lets it through.
  std::map<std::string, std::size_t> unused_dims;

  /// Variable whose values pass through `values`, given (flat index, value);
  /// an integer variable becomes a 32-bit real first when the result is not
  /// an integer (NaN, infinities).
  std::string values_var;
  std::function<double(std::size_t, double)> values;

  /// Real attributes set to a new value: "var:att", or ":att" for a global
  /// one.
  std::map<std::string, float> real_atts;
};

/// Writes the copy of `src` with `edit` applied to `dst` (replacing it).
/// Throws std::runtime_error with the library's text on any failure.
void copy_nc(const std::filesystem::path& src, const std::filesystem::path& dst,
             const NcEdit& edit);

/// Applies `edit` to `path` in place.
void damage_nc(const std::filesystem::path& path, const NcEdit& edit);

/// Cuts a file to `fraction` of its length.
void truncate_file(const std::filesystem::path& path, double fraction = 0.5);

/// The file's format: "classic", "64-bit offset", "netCDF-4", ... (as ncdump -k).
std::string nc_kind_name(const std::filesystem::path& path);

/// NaN, +Inf, -Inf and the value itself in turn along the flat index.
double non_finite_pattern(std::size_t index, double value);

/// Where the header of the sound classic-format file held in `bytes` ends;
/// throws std::runtime_error when it is not one.
std::uint64_t classic_header_bytes(std::string_view bytes);

/// The file `bytes` with random bytes of its header (the first
/// `header_bytes`) changed: 1 to 4 changes, each a byte set to another
/// value or an aligned word set to 0, 1, a largest value or one more.  The
/// same `seed` always changes the same bytes the same way.
std::string damage_header(std::string bytes, std::uint64_t header_bytes, std::uint64_t seed);

}  // namespace rn::test
