// Small terrain grids for the fill tests: random shapes that exercise
// plateaus, nested pits, the 100-fill cap, NaN heights, water cells, both
// zeros and the two stop values.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "depression_fill.hpp"

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

/// What a fill made of a grid: heights, standard output, the ending.
struct Outcome {
  std::vector<float> height;
  std::string out;
  int status = 0;
  std::string stop;  ///< stop text, empty when the fill ran through
};

using FillFn = std::function<void(std::span<float>, std::span<const std::int32_t>, std::int32_t,
                                  std::int32_t)>;

/// Runs `fill` on a copy of the grid, capturing its records and its end.
Outcome run_fill(const Grid& g, const FillFn& fill);

/// The program's fill with its records and ends (`fill_with_records`) on a
/// grid given as `run_fill` hands it over (`channel` 1 = water).
FillCounts program_fill(std::span<float> height, std::span<const std::int32_t> channel,
                        std::int32_t ix, std::int32_t jx, const FillTuning& tuning = {});

}  // namespace rn::bedcarve::test
