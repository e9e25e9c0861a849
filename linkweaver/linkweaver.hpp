// The mapping builder's driver.
#pragma once

#include "state.hpp"

namespace rn::linkweaver {

/// One run in the working directory: `namelist.nesting`, the child routing
/// grid, the matching, then `mapping.nc`.  Input that cannot be read or is
/// refused ends the run through the readers' program ends; a perimeter that
/// does not fit the parent window is returned as `outside_window`, with no
/// mapping written, for the entry to end the run.
[[nodiscard]] Placement build_mapping(MappingState& state);

}  // namespace rn::linkweaver
