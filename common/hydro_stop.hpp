// The terrain readers' name for their end with code 999.  The end itself is
// `reason_stop_999` (program_end.hpp); this header stays only while the
// terrain readers call it by this name.
#pragma once

#include <string_view>

#include "program_end.hpp"

namespace rn {

/// `reason_stop_999`: the record "Stoped du to " + message, code stop 999.
[[noreturn]] inline void hydro_stop(std::string_view message) { reason_stop_999(message); }

}  // namespace rn
