// Whole-variable reads of the per-point arrays of a channel output or a
// segment-information file, through the module readers (their messages and
// program ends on failure).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nc_readers.hpp"

namespace rn::kml {

/// Reads variable `var` of `file` whole as 32-bit reals.  With a `count`, the
/// variable must hold exactly that many values (the readers end the run with
/// a message otherwise); without one, it is read at whatever size it has.
std::vector<float> read_reals(const ModuleReaders& readers, const std::string& file,
                              std::string_view var, std::optional<std::int32_t> count);

/// The same as 32-bit integers.
std::vector<std::int32_t> read_ints(const ModuleReaders& readers, const std::string& file,
                                    std::string_view var, std::optional<std::int32_t> count);

}  // namespace rn::kml
