// The two `hydro_stop` forms: the terrain readers' (a record naming the
// message, then code stop 999) and the one that serves the point-extraction
// program and the date-time routines (the message as one record, then a plain
// stop with the failure status).
#pragma once

#include <cstddef>
#include <string_view>

namespace rn {

/// Messages of the terrain readers are assembled in a 256-character buffer.
inline constexpr std::size_t kMessageWidth = 256;

/// Writes the record "Stoped du to " joined with the message (cut at 256
/// characters, trailing blanks removed), then code stop 999.
[[noreturn]] void hydro_stop(std::string_view message);

/// Writes the message unchanged as one record, then a plain stop (failure).
[[noreturn]] void hydro_stop_plain(std::string_view message);

}  // namespace rn
