// The depression fill written as the plain repeated search, step by step:
// the yardstick the fast fill is compared with.  Only the visit marks of the
// visited cells are reset, and the depth-first search keeps its path on an
// explicit stack, visiting cells in the order of the recursive search.
#pragma once

#include <cstdint>
#include <span>

namespace rn::bedcarve::test {

/// Same contract as `fill_with_records` (records on rn::out(), the same
/// stops); returns the number of fills.
std::int64_t reference_fill(std::span<float> height, std::span<const std::int32_t> channel,
                            std::int32_t ix, std::int32_t jx);

}  // namespace rn::bedcarve::test
