// The sizes of the sample basin: three named presets.
#pragma once

#include <string>
#include <string_view>

namespace sb {

struct Preset {
  std::string name;

  // Parent model grid (Lambert conformal), and the child grid nested in it:
  // every parent cell holds `refine` x `refine` child cells.
  int parent_nx = 0, parent_ny = 0;
  float parent_dx_km = 1.0f;
  int child_nx = 0, child_ny = 0;
  int refine = 4;
  int margin = 8;  ///< parent cells of terrain computed around the child window

  // Terrain: first octave of the relief at 1000 km wavelength has
  // `relief_m_at_1000km`; `hurst` sets how fast shorter octaves fade.
  double relief_m_at_1000km = 800.0;
  double hurst = 0.8;
  double coast_slope_m_per_km = 1.5;
  double sea_share = 0.5;  ///< rough share of the parent domain under the sea

  // Networks.
  int parent_channel_cells = 2;  ///< parent accumulation (cells) of a channel
  double link_cells = 3.0;       ///< longest parent link in channel cells; a fraction
                                 ///< lets that many links be one cell longer
  int child_channel_cells = 32;  ///< child accumulation (cells) of a channel
  int burn_cells = 16;           ///< parent accumulation from which rivers cut the child terrain
  double sliver_share = 0.05;    ///< chance that a polygon reaches into a neighbouring cell

  // Outputs.
  int channel_hours = 3;
  int forcing_hours = 24;
  int forcing_nx = 0, forcing_ny = 0;
  int sites = 0;
  int stations = 0;
};

/// The preset of that name ("small", "medium", "national"), or null.
const Preset* find_preset(std::string_view name);

}  // namespace sb
