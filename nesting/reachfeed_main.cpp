// reachfeed input-file output-file
#include "child_boundary.hpp"
#include "reachfeed.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: reachfeed input-file output-file\n"
    "\n"
    "Turns a parent channel output keyed by feature id (feature_id, streamflow\n"
    "and its scale_factor) into child boundary inflow through mapping.nc in the\n"
    "working directory, as written by linkweaver.  Writes the output file\n"
    "(nodeNum; qstream, ci, cj) and caches the matched positions in\n"
    "mapping_index.nc beside mapping.nc; a later run uses the cache while it\n"
    "still matches mapping.nc and the input file, and rebuilds it otherwise.\n"
    "\n"
    "Arguments:\n"
    "  input-file   parent channel output (feature_id; streamflow, times its\n"
    "               scale_factor, 1 when it has none); a value equal to its\n"
    "               _FillValue or missing_value, or NaN, is left out of its\n"
    "               node's mean (a node left without weight gets -9999.0)\n"
    "  output-file  child boundary inflow to write\n"
    "\n"
    "Files: reads mapping.nc and mapping_index.nc in the working directory;\n"
    "writes mapping_index.nc after a search, and the output file.  Each output\n"
    "is replaced only when it is complete, so runs may share one directory.\n"
    "\n"
    "Exit status:\n"
    "  0  success (a parent link missing from feature_id is only a warning)\n"
    "  1  a reported failure: no mapping.nc, a file, dimension or variable that\n"
    "     cannot be read, a childIndex or cached position out of range\n"
    "  2  a netCDF library failure while writing, or an output that cannot be\n"
    "     created (\"Error: \")\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::nesting::nesting_main(argc, argv, "reachfeed", kHelp, rn::nesting::reachfeed);
}
