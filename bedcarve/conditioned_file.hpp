// The conditioned terrain file that `bedcarve` writes: the raised `HGT_M`
// over `west_east` and `south_north`, with what makes it a terrain input
// again and a file that users' tools describe: the input's global
// attributes and the attributes of its `HGT_M`, the input's `LANDMASK`, and
// the CF metadata (cf_metadata.hpp).
#pragma once

#include <string>

#include "grid2d.hpp"

namespace rn::bedcarve {

/// Writes `file` (classic netCDF, replaced atomically): dimensions
/// `west_east`, `south_north`; `HGT_M` (float) holding `height`, then
/// `LANDMASK` copied from `input` (int, or float when the input stores it as
/// a real), both over (`south_north`, `west_east`).  Attributes of the
/// classic types are copied from the input (global ones, and those of
/// `HGT_M` or `HGT_M_M` and of `LANDMASK`); `Conventions`, `title`, `source`
/// and `history` are this run's, with the input's history below its line.
/// `long_name` and `units` ("m") are added to `HGT_M` where the input has
/// none.  A failing library call ends the program through `handle_err`.
void write_conditioned(const std::string& file, const Grid2D<float>& height,
                       const std::string& input);

}  // namespace rn::bedcarve
