// Raster DEMs in and out: any raster that the GDAL library reads (a
// GeoTIFF, a mosaic of tiles described by a VRT file, a CF netCDF DEM, ...)
// as the terrain of a run, and the conditioned heights as a GeoTIFF.
//
// A raster is read as the library delivers it: band 1 holds the heights,
// column i along a row, row j = 1 the first row (the northernmost of a
// north-up raster).  Every cell holding a height is land; the cells at the
// band's no-data value are where water leaves (water cells for the fill:
// never raised, so they keep their value); the outer ring drains as in any
// grid.
#pragma once

#include <string>

#include "raster_frame.hpp"
#include "terrain_conditioning.hpp"

namespace rn::bedcarve {

/// True when `file` is no netCDF file (by its first bytes; a file that does
/// not exist is none) and the raster library knows its format (or the name
/// is one of its own, such as NETCDF:"file":variable).
bool is_raster(const std::string& file);

/// Reads band 1 of the raster `file` into the height grid (32-bit reals;
/// integer and 64-bit bands are compared with their no-data value in their
/// own type, then converted) and its frame.  Writes the records "ixrt = "
/// and " reading raster band 1 of " file.  A file of several rasters (a
/// netCDF file of several variables) is read when it holds exactly one.
/// Refuses (status 1, one line on the error stream) a raster that cannot be
/// opened or read, one without bands, one of complex values, and, before
/// anything is allocated, one that needs more memory than is usable.
/// Cost: one pass over the raster, a block of rows of a few megabytes
/// besides the grid for bands that are not 32-bit reals.
Terrain read_raster(const std::string& file, RasterFrame& frame);

/// The frame of a netCDF terrain file as the raster library sees its height
/// variable (transform, coordinate system, no-data value), and whether the
/// library delivers its rows in the reverse of file order (it turns a grid
/// whose y coordinate grows with the row so that north comes first).
/// `height` holds the heights as read, before any fill.  A file that the
/// library cannot read as a raster gives an empty frame.
RasterFrame netcdf_terrain_frame(const std::string& file, const Grid2D<float>& height,
                                 bool& reversed);

/// Writes `height` to `file` as a GeoTIFF: 32-bit reals, tiled, compressed
/// (DEFLATE with the floating-point predictor), with the frame's transform,
/// coordinate system and no-data value; rows from the last when `reversed`.
/// Written under a temporary name in the target's folder and renamed into
/// place when complete; a failure ends the run (status 1) and leaves no
/// file, and an existing file of that name keeps its content.
void write_geotiff(const std::string& file, const Grid2D<float>& height, const RasterFrame& frame,
                   bool reversed = false);

}  // namespace rn::bedcarve
