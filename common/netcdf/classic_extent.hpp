// The check of a classic-format netCDF header (CDF-1, CDF-2 and CDF-5)
// before the library reads it, and where each variable's data end.
//
// The library trusts the header of a classic file: a damaged count makes it
// allocate gigabytes, two record dimensions make it divide by zero while it
// sizes the variables, a dimension id out of range or a name with a zero
// byte in it makes it read outside its tables.  The walk here reads the
// header as the format lays it out and accepts it only when every part is
// as the format says:
//
//   magic         "CDF" and version 1, 2 or 5
//   numrecs       non-negative (or "streaming": the reader counts the records)
//   lists         tag 0x0A / 0x0C / 0x0B before a non-negative count that
//                 the bytes left in the file can hold (an empty list's tag
//                 is not looked at, as the library does not)
//   names         1 to 256 bytes of UTF-8, first a letter, digit, '_' or a
//                 multibyte character, no control character, no '/', no
//                 trailing blank; unique among the dimensions, the
//                 variables, and the attributes of one variable
//   dimensions    length non-negative and at most the file's length in
//                 bytes (no variable over a longer one can be stored in the
//                 file); at most one of length 0, the record dimension
//   attributes    an external type of the version (1 to 6, 1 to 11 in
//                 CDF-5), values and padding inside the file
//   variables     at most 1024 dimensions, each id in range, the record
//                 dimension only first; a known type; vsize equal to the
//                 size of the shape (padded or not; the overflow marker for
//                 a CDF-1/2 variable of 4 GiB or more); begin at or past the
//                 header's end
//   data          every fixed-size variable and every record of every record
//                 variable (numrecs of them) ends within the file: a file
//                 shorter than its header says is refused; without record
//                 variables numrecs is at most the file's length
//
// No product, sum or offset can overflow (64-bit arithmetic, saturated), and
// since every count must be backed by bytes in the file, nothing the walk or
// the library allocates for the header exceeds a small multiple of the
// file's length.  Padding bytes are not required to be zero: they carry no
// meaning and other writers fill them as they like.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rn {

/// What a sound classic header says, as far as the readers need it.
struct ClassicLayout {
  int version = 0;                      ///< 1, 2 or 5
  std::uint64_t header_bytes = 0;       ///< where the header ends
  /// The byte just past the data of every variable (indexed by variable
  /// id): for a fixed-size variable its offset plus its size, for a record
  /// variable the end of its part of the last record (its offset when there
  /// are no records).  For a streaming file, the records the file holds.
  std::vector<std::uint64_t> data_ends;
};

/// The outcome of the walk: a layout, or why the header is not sound.
struct ClassicCheck {
  std::optional<ClassicLayout> layout;
  std::string problem;  ///< empty when `layout` is set
};

/// True when `bytes` begin with the magic of a classic format.
bool has_classic_magic(std::string_view bytes);

/// Checks the classic header of the open file `fd` of `size` bytes (read
/// with pread, in blocks).  Cost: one pass over the header, O(n log n) in
/// its entries.
ClassicCheck check_classic_file(int fd, std::uint64_t size);

/// The same for a whole file held in memory.
ClassicCheck check_classic_header(std::string_view bytes);

/// Variable ends of the classic-format file `path`.  Empty when the file
/// cannot be read, is not of a classic format or fails the check.
std::optional<std::vector<std::uint64_t>> classic_variable_ends(const std::string& path);

}  // namespace rn
