// Small terrain grids for the fill tests: random shapes that exercise
// plateaus, nested pits, the 100-fill cap, NaN heights, water cells, both
// zeros and the two stop values.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace rn::bedcarve::test {

struct Grid {
  std::int32_t ix = 0, jx = 0;
  std::vector<float> height;
  std::vector<std::int32_t> channel;  ///< 1 = water, -999 = land
  std::string kind;                   ///< what the generator made (for messages)
};

/// A grid from heights given row by row (j = 1 first), all land.
Grid grid_from_rows(const std::vector<std::vector<float>>& rows);

/// One random grid of the kind picked by `seed`.
Grid random_grid(std::uint32_t seed);

}  // namespace rn::bedcarve::test
