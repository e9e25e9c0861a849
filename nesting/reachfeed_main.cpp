// reachfeed input-file output-file
#include "child_boundary.hpp"
#include "module_vorl_nesting.hpp"

namespace {
constexpr const char* kHelp =
    "Usage: reachfeed input-file output-file\n"
    "\n"
    "Turns a parent channel output keyed by feature id (feature_id, streamflow\n"
    "and its scale_factor) into child boundary inflow through mapping.nc in the\n"
    "working directory, as written by linkweaver.  Writes the output file\n"
    "(nodeNum; qstream, ci, cj) and caches the matched positions in\n"
    "mapping_index.nc beside mapping.nc; a later run uses the cache while it\n"
    "still matches mapping.nc and the input file, and rebuilds it otherwise.\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::nesting::nesting_main(argc, argv, "reachfeed", kHelp, rn::nesting::reachfeed);
}
