// Well-formed UTF-8, as netCDF names and the texts that readers decode as
// Unicode must be.
#pragma once

#include <cstddef>
#include <string_view>

namespace rn {

/// Length of the well-formed UTF-8 sequence that begins at `text[k]`
/// (1 to 4 bytes: a lead byte and its continuation bytes, no overlong form,
/// no surrogate, nothing above U+10FFFF), or 0 when none begins there.
/// Assumes k < text.size().
std::size_t utf8_sequence(std::string_view text, std::size_t k);

/// Whether all of `text` is well-formed UTF-8 (an empty text is).
bool is_utf8(std::string_view text);

}  // namespace rn
