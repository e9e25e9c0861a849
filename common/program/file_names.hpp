// File names as the programs receive them: texts of 256 characters, blank
// padded, whose trailing blanks are removed before the name reaches the
// netCDF library or the file system.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rn {

/// Width of a file name text.
inline constexpr std::size_t kNameWidth = 256;

/// The name as used: cut at 256 characters, then trailing blanks removed.
std::string trim_name(std::string_view name);

/// True when a directory entry of that (trimmed) name exists.
bool file_exists(std::string_view name);

}  // namespace rn
