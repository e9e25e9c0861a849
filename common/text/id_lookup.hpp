// First occurrence of identifiers in a long list of identifiers: parent
// link ids among the route-link ids (stream orders of the mapping builder),
// mapping entries' parent ids among the feature ids of a parent channel
// output (the network nesting tool).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rn {

/// Position that `first_positions` gives an id that the list lacks.
inline constexpr std::int32_t kIdAbsent = -1;

/// For every id of `wanted` (in order), its first 1-based position in `ids`,
/// or kIdAbsent when `ids` does not hold it.
///
/// Contract: `wanted` and `ids` may hold any 32-bit values, duplicates
/// included; `ids` holds fewer than 2^31 values (a netCDF dimension
/// length).  The result equals that of scanning `ids` from position 1
/// upward for each wanted id and stopping at the first equal one.  Cost: one
/// pass over `ids` through a bit filter and an open-addressing hash table of
/// the distinct wanted ids (about 16 bytes per wanted id, small enough to
/// stay in cache for tens of thousands of ids); expected O(|wanted| + |ids|)
/// time.  The pass stops early once every wanted id has been found.
std::vector<std::int32_t> first_positions(std::span<const std::int32_t> wanted,
                                          std::span<const std::int32_t> ids);

}  // namespace rn
