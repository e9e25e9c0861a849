// The conditioned terrain file that `bedcarve` writes: the raised `HGT_M`
// over `west_east` and `south_north`, with what makes it a terrain input
// again and a file that users' tools describe: the input's global
// attributes and the attributes of its `HGT_M`, the input's `LANDMASK`, and
// the CF metadata (cf_metadata.hpp).
#pragma once

#include <string>

#include "cell_bits.hpp"
#include "grid2d.hpp"
#include "raster_frame.hpp"

namespace rn::bedcarve {

/// Writes `file` (classic netCDF, replaced atomically): dimensions
/// `west_east`, `south_north`; `HGT_M` (float) holding `height`, then
/// `LANDMASK` copied from `input` (int, or float when the input stores it as
/// a real), both over (`south_north`, `west_east`).  Attributes of the
/// classic types are copied from the input (global ones, and those of
/// `HGT_M` or `HGT_M_M` and of `LANDMASK`); `Conventions`, `title`, `source`
/// and `history` are this run's, with the input's history below its line.
/// `long_name` and `units` ("m") are added to `HGT_M` where the input has
/// none.  After them come the variables that locate the grid, each with its
/// attributes: the coordinate variables of `west_east` and `south_north`,
/// the variables named by `HGT_M:coordinates` (else `XLAT_M` and `XLONG_M`
/// when the input has them) and the one named by `HGT_M:grid_mapping`
/// (variables of the classic types; a leading dimension of length 1 is
/// dropped as for `HGT_M`).  A failing library call ends the program
/// through `handle_err`.
void write_conditioned(const std::string& file, const Grid2D<float>& height,
                       const std::string& input);

/// Writes the conditioned terrain of a raster in the same layout: `HGT_M`
/// (rows as the raster delivers them; `_FillValue` the no-data value, units
/// those of the band or "m"), `LANDMASK` (int: 0 at the no-data cells, the
/// `water` ones, 1 elsewhere), then the coordinate variables `west_east` and
/// `south_north` (cell centres, for a transform without rotation) and the
/// grid mapping `crs` (the coordinate system as `spatial_ref` and
/// `crs_wkt`, the transform as `GeoTransform`), which CF readers and the
/// raster library take as the raster's frame.
void write_raster_conditioned(const std::string& file, const Grid2D<float>& height,
                              const CellBits& water, const RasterFrame& frame);

}  // namespace rn::bedcarve
