// bedcarve [--dem] input-file output-file: the program entry (help,
// arguments), then the conditioning run (dem_conditioning.hpp), which
// decides the records and the ends.
#include <string_view>

#include "bedcarve_messages.hpp"
#include "command_line.hpp"
#include "dem_conditioning.hpp"
#include "program_end.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: bedcarve [--dem] input-file output-file\n"
    "\n"
    "Fill the closed depressions of a terrain grid or a DEM.\n"
    "\n"
    "Fills the closed depressions of a terrain height grid so that from every\n"
    "land cell a path that never climbs leads to a water cell, to a no-data\n"
    "cell or to the edge of the grid.  Heights are only ever raised.  Every\n"
    "fill is reported on standard output as a \"step 5\" and a \"step 6\" record\n"
    "(start cell i, j, fill height and the start cell's height before and\n"
    "after).  A start cell that still does not drain after 100 fills is left\n"
    "as it is.\n"
    "\n"
    "Inputs:\n"
    "  A netCDF terrain grid: HGT_M (or HGT_M_M) and LANDMASK (0 = water) over\n"
    "  south_north, west_east.  Cells whose HGT_M equals its _FillValue or a\n"
    "  missing_value are no-data cells: they drain like water and keep their\n"
    "  value.  Fill records count i along west_east and j along south_north,\n"
    "  j = 1 the first row stored in the file.\n"
    "  A raster DEM (GeoTIFF, a VRT mosaic of tiles, any raster format the\n"
    "  GDAL library reads): band 1 holds the heights, every cell is land but\n"
    "  those at the band's no-data value, which drain like water and keep\n"
    "  their value.  Fill records count i along a row and j down the rows,\n"
    "  j = 1 the raster's first row, the northernmost of a north-up raster.\n"
    "\n"
    "Outputs:\n"
    "  A name ending in .tif or .tiff: a GeoTIFF (32-bit reals, tiled,\n"
    "  compressed) with the input's origin, pixel size, coordinate system and\n"
    "  no-data value.  Any other name: the netCDF terrain layout, HGT_M and\n"
    "  LANDMASK with what locates the grid (its coordinate variables, latitude\n"
    "  and longitude, grid mapping), so that the output is an input again.\n"
    "  The output is replaced only when complete.\n"
    "\n"
    "Arguments:\n"
    "  --dem        read a netCDF input as a raster DEM (a CF DEM with its own\n"
    "               names and no LANDMASK, as raster tools write it)\n"
    "  input-file   terrain grid or raster DEM\n"
    "  output-file  conditioned terrain to write\n"
    "\n"
    "On a terminal, the error stream shows the run's progress (reading,\n"
    "filling, writing); nothing of it when the error stream is a file or a\n"
    "pipe.\n"
    "\n"
    "Exit status:\n"
    "  0    success (\"STOP finish\" on the error stream)\n"
    "  1    a reported failure: a depression without a higher rim (\"wrong big\n"
    "       minv ...\"), a grid that needs more memory than the machine has,\n"
    "       a raster that cannot be read, an output that cannot be written\n"
    "  2    a netCDF library failure while writing (\"Error: \")\n"
    "  120  the file cannot be opened or lacks west_east or south_north (STOP 888)\n"
    "  231  HGT_M or LANDMASK cannot be read (STOP 999)\n"
    "\n"
    "Examples:\n"
    "In a folder written by samplebasin --preset small:\n"
    "  bedcarve child/terrain.nc terrain_filled.nc\n"
    "  bedcarve terrain_filled.nc terrain_again.nc   # a second pass: no fill\n"
    "  bedcarve child/terrain.nc terrain_filled.tif  # the same as a GeoTIFF\n"
    "  bedcarve terrain_filled.tif dem_filled.tif    # a GeoTIFF DEM in and out\n"
    "  gdal_translate -q -of netCDF terrain_filled.tif dem.nc\n"
    "  bedcarve --dem dem.nc dem_filled.nc           # a CF netCDF DEM\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::run_entry("bedcarve", kHelp, argc, argv, [&] {
    const bool dem = argc > 1 && std::string_view(argv[1]) == rn::bedcarve::messages::kDemOption;
    const int first = dem ? 2 : 1;
    rn::bedcarve::condition_dem(rn::argument(argc, argv, first), rn::argument(argc, argv, first + 1),
                                dem);
  });
}
