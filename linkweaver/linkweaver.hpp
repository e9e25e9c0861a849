// The mapping builder's driver.
#pragma once

#include "state.hpp"

namespace rn::linkweaver {

/// One run in the working directory: `namelist.nesting`, the child routing
/// grid, the matching, then `mapping.nc`.  Every failure ends the run
/// through a program end.
void build_mapping(MappingState& state);

}  // namespace rn::linkweaver
