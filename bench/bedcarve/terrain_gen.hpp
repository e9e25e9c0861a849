// Real-like terrain for the depression-fill benchmark, from the sample
// basin's noise: fractal relief in metres at a fixed cell size (so that a
// larger grid is a larger region with the same statistics), a sea along one
// side, water lakes, survey noise that leaves many small pits, and a few
// wide closed basins.
#pragma once

#include <cstdint>
#include <vector>

namespace rn::bench {

struct Terrain {
  std::int32_t ix = 0, jx = 0;
  std::vector<float> height;          ///< metres, i fastest
  std::vector<std::int32_t> channel;  ///< 1 = water (sea, lakes), -999 = land
};

Terrain make_terrain(std::int32_t ix, std::int32_t jx, std::uint64_t seed);

}  // namespace rn::bench
