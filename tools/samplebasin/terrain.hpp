// The continuous terrain of the basin: a regional slope down to a coast plus
// fractal relief, in kilometres east and north of parent cell (1, 1).
#pragma once

#include <cstdint>

#include "grid.hpp"
#include "noise.hpp"
#include "preset.hpp"

namespace sb {

class TerrainModel {
 public:
  TerrainModel(const Preset& preset, std::uint64_t seed);

  /// Height in metres at (x_km, y_km), with relief down to the wavelength
  /// `shortest_km` (about two cells of the grid that samples it).
  double height(double x_km, double y_km, double shortest_km) const;

 private:
  FractalNoise relief_;
  double normal_x_ = 1.0, normal_y_ = 0.0;  // points inland
  double coast_ = 0.0;                       // position of the coast along the normal
  double slope_ = 0.0;                       // metres per kilometre inland
};

/// Samples the terrain at the centres of a block of cells of size
/// `cell_km`, the first centred at (x0_km, y0_km).  Cost: one height per cell.
Grid<float> sample_terrain(const TerrainModel& model, int nx, int ny, double x0_km, double y0_km,
                           double cell_km);

}  // namespace sb
