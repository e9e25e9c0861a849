// The whole `bedcarve` run for any terrain: the netCDF terrain layout
// (`HGT_M`, `LANDMASK`) or a raster DEM in, the netCDF layout or a GeoTIFF
// out, chosen by the files themselves:
//   * an input that is no netCDF file and that the raster library reads
//     (a GeoTIFF, a VRT mosaic, ...), or any input with `--dem`, is read as
//     a raster DEM (raster_terrain.hpp);
//   * an output named *.tif or *.tiff is written as a GeoTIFF with the
//     input's frame, any other as the netCDF layout.
// netCDF in and out is the run it always was (terrain_conditioning.hpp).
#pragma once

#include <string_view>

namespace rn::bedcarve {

/// True for a name ending in ".tif" or ".tiff", in any case.
bool geotiff_name(std::string_view name);

/// Reads, fills (records on standard output, progress on a terminal),
/// writes, then the text stop "finish" (status 0).  `dem`: read the input
/// as a raster DEM whatever its format.
void condition_dem(std::string_view infile, std::string_view outfile, bool dem);

}  // namespace rn::bedcarve
