// Terrain for the depression-fill benchmark (and, at small sizes, for the
// fill's differential tests), from the sample basin's noise, at a fixed cell
// size of 100 m so that a larger grid is a larger region with the same
// statistics.  Three kinds, because the cost of a fill depends on how rough
// the terrain is far more than on its size:
//
//  - smooth: fractal relief in metres whose shortest octave is two cells, a
//    sea along one side, water lakes, a few wide closed basins and survey
//    noise of a few decimetres that leaves a small pit every few hundred
//    cells;
//  - rough: fractal relief down to the cell scale (each octave 0.7 of the
//    one above it, so a cell differs from its neighbours by metres), a sea,
//    water lakes and scattered sinks a few metres deep: pits everywhere, and
//    basins that need more fills than a start cell may make;
//  - real: what makes measured elevation models costly: cell-scale
//    roughness, heights stored to 0.1 m (so that flats, terraces and
//    nested pits abound), valleys that are broad and nearly level, the whole
//    made of one 715 x 844 tile mirrored as often as the grid needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace rn::bench {

enum class TerrainKind { smooth, rough, real };

/// The kind named `smooth`, `rough` or `real`; nothing for another name.
std::optional<TerrainKind> terrain_kind(std::string_view name);
const char* kind_name(TerrainKind kind);

struct Terrain {
  std::int32_t ix = 0, jx = 0;
  std::vector<float> height;          ///< metres, i fastest
  std::vector<std::int32_t> channel;  ///< 1 = water (sea, lakes), -999 = land
};

/// An ix x jx grid of the given kind; the same arguments give the same bits
/// on any machine (integer hashing and IEEE arithmetic only).
Terrain make_terrain(TerrainKind kind, std::int32_t ix, std::int32_t jx, std::uint64_t seed);

}  // namespace rn::bench
