// The configuration file `namelist.nesting` of the mapping builder.
//
// The file holds one group `namelist_nesting`: a line whose first non-blank
// character is "&" directly followed by the group name, then assignments
// key = value separated by blanks, commas or line ends, then a slash.  Lines
// before the group (and another group's lines) are passed over, and so is
// everything after the closing slash.  Keys and the group name are matched
// without regard to case; keys may come in any order; a key given twice keeps
// its last value.  Text after "!" (outside a quoted text) is a comment.
//
// Values:
//   text     in apostrophes or quotation marks (a doubled mark is one mark;
//            a line break inside is dropped); cut at 256 characters, shorter
//            ones blank-padded to 256
//   real     decimal notation, optionally with an exponent (E or D), rounded
//            once to the nearest 32-bit real
//   integer  optional sign and digits, 32-bit range
//   logical  an optional period, then T or F in any case, then anything up to
//            the next separator: T, F, .true., .false., true, .t. ...
// A key directly followed by a comma, the slash or the next key has no value
// and keeps what it held.
//
// Rejected, ending the program with a message that names the problem and
// exit status 1: no group of that name, a group without its closing slash, an
// unknown key, a value that is not of its key's type, an unquoted text, and a
// key that the file never sets (there are no defaults).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "command_line.hpp"  // trim_right

namespace rn {

inline constexpr std::size_t kNamelistTextWidth = 256;

/// The nine values of the group.  Texts hold exactly 256 characters,
/// blank-padded; `text()` gives them without the padding.
struct NestingNamelist {
  std::string mapproject;
  std::string fulldom_child_f;
  std::string fulldom_parent_f;
  std::string routinelin_p_f;
  float dxkm = 0.0f;
  std::string geo_parent_f;
  std::string nhd_map_f;
  bool flowin_out = false;
  std::int32_t order_diff = 0;

  /// A text field without its trailing blanks.
  static std::string_view text(const std::string& field) { return trim_right(field); }
};

/// Parses the text of a namelist file.  Returns an empty string on success,
/// otherwise the message naming the problem (the values are then unusable).
std::string parse_namelist_nesting(std::string_view text, NestingNamelist& values);

/// Reads `path` (normally "namelist.nesting" in the working directory);
/// ends the program with the message and exit status 1 when the file is
/// missing, unreadable or rejected.
NestingNamelist read_namelist_nesting(const std::string& path = "namelist.nesting");

}  // namespace rn
