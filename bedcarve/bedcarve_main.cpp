// bedcarve input-file output-file
#include "command_line.hpp"
#include "module_bedcarve.hpp"
#include "program_end.hpp"

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
    "the start cell's height before and after).\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::run_program([&] {
    if (rn::answer_help_or_version(argc, argv, "bedcarve", kHelp)) return;
    rn::bedcarve::bedcarve_drv(rn::argument(argc, argv, 1), rn::argument(argc, argv, 2));
  });
}
