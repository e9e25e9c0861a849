// cellfeed input-file output-file
#include "child_boundary.hpp"
#include "module_grid_nesting.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: cellfeed input-file output-file\n"
    "\n"
    "Turns a parent channel output addressed by record position (recNum,\n"
    "streamflow) into child boundary inflow through the per-node mapping\n"
    "mapping.nc in the working directory (childNodeNum; weight, ci_grid,\n"
    "cj_grid, fcstIndex).  Writes the output file (nodeNum; qstream, ci, cj)\n"
    "with one value per child node: its weight times the streamflow of its\n"
    "parent record, or -9999.0 when that record does not exist.\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::nesting::nesting_main(argc, argv, "cellfeed", kHelp, rn::nesting::cellfeed);
}
