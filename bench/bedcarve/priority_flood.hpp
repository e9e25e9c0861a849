// The yardstick of the depression-fill benchmark: priority flood in the
// efficient form published by Wei, Zhou and Fang (2018), written here from
// its published description.
//
// Every cell ends at the lowest level at which water can leave it for an
// outlet (the outermost ring or a water cell): its own height, or the spill
// level of the depression that holds it.  A priority queue hands out the
// open cells lowest first; a cell met at or below the current spill level
// is raised to it and goes on a plain queue instead (a depression is filled
// in breadth-first order, without the priority queue); a cell met above it
// drains through the cell it was met from and keeps its height, and it too
// is handled by a plain queue as long as all of its lower neighbours are
// closed; only a cell that still has an open lower neighbour (a possible
// spill cell of another depression) goes on the priority queue.
#pragma once

#include <cstdint>
#include <span>

#include "cell_bits.hpp"

namespace rn::bench {

/// Fills the depressions of `height` (ix by jx, i fastest) in place; water
/// cells and the ring are the outlets.  Assumes no NaN heights.  Cost: O(N) queue
/// work plus O(k log k) for the k cells that go on the priority queue;
/// memory: one byte a cell plus the queues.
void priority_flood_wei2018(std::span<float> height, const rn::bedcarve::CellBits& water,
                            std::int64_t ix, std::int64_t jx);

}  // namespace rn::bench
