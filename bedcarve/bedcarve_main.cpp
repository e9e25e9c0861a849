// bedcarve input-file output-file: the program entry (help, arguments), then
// the conditioning run (terrain_conditioning.hpp), which decides the records
// and the ends.
#include "command_line.hpp"
#include "program_end.hpp"
#include "terrain_conditioning.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: bedcarve input-file output-file\n"
    "\n"
    "Fills the closed depressions of a terrain height grid so that from every\n"
    "land cell a path that never climbs leads to a water cell or to the edge\n"
    "of the grid.  Reads HGT_M (or HGT_M_M) and LANDMASK (0 = water) over\n"
    "south_north, west_east; writes the conditioned HGT_M to the output file.\n"
    "Heights are only ever raised.  Every fill is reported on standard output\n"
    "as a \"step 5\" and a \"step 6\" record (start cell i, j, fill height and\n"
    "the start cell's height before and after).  A start cell that still does\n"
    "not drain after 100 fills is left as it is.\n"
    "\n"
    "Arguments:\n"
    "  input-file   terrain grid (west_east, south_north; HGT_M, LANDMASK)\n"
    "  output-file  conditioned terrain to write, replaced only when complete\n"
    "\n"
    "Exit status:\n"
    "  0    success (\"STOP finish\" on the error stream)\n"
    "  1    a reported failure: a depression without a higher rim (\"wrong big\n"
    "       minv ...\"), a grid that needs more memory than the machine has,\n"
    "       an output that cannot be written\n"
    "  2    a netCDF library failure while writing (\"Error: \")\n"
    "  120  the file cannot be opened or lacks west_east or south_north (STOP 888)\n"
    "  231  HGT_M or LANDMASK cannot be read (STOP 999)\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::run_entry("bedcarve", kHelp, argc, argv, [&] {
    rn::bedcarve::condition_terrain(rn::argument(argc, argv, 1), rn::argument(argc, argv, 2));
  });
}
