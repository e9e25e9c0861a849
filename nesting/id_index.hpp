// Matching of parent link identifiers against the feature ids of a parent
// channel output.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace rn::nesting {

/// For every id of `wanted` (in order), its first 1-based position in `ids`,
/// or -1 when `ids` does not hold it.
///
/// Contract: `wanted` and `ids` may hold any 32-bit values, duplicates
/// included; `ids` holds fewer than 2^31 values (a netCDF dimension
/// length).  The result equals that of scanning `ids` from position 1
/// upward for each wanted id and stopping at the first equal one.  Cost: one
/// pass over `ids` through a bit filter and an open-addressing hash table of
/// the distinct wanted ids (about 16 bytes per distinct id, small enough to
/// stay in cache for tens of thousands of ids); expected O(|wanted| + |ids|)
/// time.  The pass stops early once every wanted id has been found.
std::vector<std::int32_t> first_positions(std::span<const std::int32_t> wanted,
                                          std::span<const std::int32_t> ids);

}  // namespace rn::nesting
