#include "preset.hpp"

#include <array>

namespace sb {

namespace {

Preset make(std::string name, int pnx, int pny, int cnx, int cny, int fnx, int fny, int sites,
            int stations) {
  Preset p;
  p.name = std::move(name);
  p.parent_nx = pnx;
  p.parent_ny = pny;
  p.child_nx = cnx;
  p.child_ny = cny;
  p.forcing_nx = fnx;
  p.forcing_ny = fny;
  p.sites = sites;
  p.stations = stations;
  return p;
}

const std::array<Preset, 3>& presets() {
  static const std::array<Preset, 3> all = [] {
    std::array<Preset, 3> a = {
        make("small", 56, 48, 80, 64, 48, 40, 12, 6),
        make("medium", 768, 640, 1000, 1000, 1152, 960, 300, 100),
        make("national", 4608, 3840, 4000, 4000, 4608, 3840, 3000, 2000),
    };
    a[0].margin = 6;
    // The national network is a little coarser: about 2.7 million links
    // and 10 million overlap records on its 17.7 million cells.
    a[2].parent_channel_cells = 3;
    a[2].link_cells = 2.5;
    a[2].child_channel_cells = 48;
    return a;
  }();
  return all;
}

}  // namespace

const Preset* find_preset(std::string_view name) {
  for (const Preset& p : presets()) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

}  // namespace sb
