// cellfeed input-file output-file
#include "child_boundary.hpp"
#include "cellfeed.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: cellfeed input-file output-file\n"
    "\n"
    "Turns a parent channel output addressed by record position (recNum,\n"
    "streamflow) into child boundary inflow through the per-node mapping\n"
    "mapping.nc in the working directory (childNodeNum; weight, ci_grid,\n"
    "cj_grid, fcstIndex).  Writes the output file (nodeNum; qstream, ci, cj)\n"
    "with one value per child node: its weight times the streamflow of its\n"
    "parent record, or -9999.0 when that record does not exist or its value is\n"
    "missing (its _FillValue or missing_value, or NaN).\n"
    "\n"
    "Arguments:\n"
    "  input-file   parent channel output (recNum; streamflow, used as stored)\n"
    "  output-file  child boundary inflow to write, replaced only when complete\n"
    "\n"
    "Exit status:\n"
    "  0  success (a node whose fcstIndex is out of range is reported)\n"
    "  1  a reported failure: a file, dimension or variable that cannot be read\n"
    "  2  a netCDF library failure while writing, or an output that cannot be\n"
    "     created (\"Error: \")\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::nesting::nesting_main(argc, argv, "cellfeed", kHelp, rn::nesting::cellfeed);
}
