// linkweaver: builds mapping.nc, the correspondence between the parent
// river links and the boundary cells of a child routing grid, from the
// files named in namelist.nesting.  Takes no arguments.
#include "command_line.hpp"
#include "linkweaver.hpp"
#include "program_end.hpp"

namespace {
constexpr const char* kHelp =
    "usage: linkweaver\n"
    "Reads namelist.nesting in the working directory and the parent geo,\n"
    "route-link and overlap files and the child routing grid it names, and\n"
    "writes mapping.nc in the working directory.\n"
    "\n"
    "Arguments: none (any that are given are ignored).\n"
    "\n"
    "Keys of namelist.nesting (group &namelist_nesting, every key required):\n"
    "  mapproject        projection of the parent grid: LC, ST, ME or CE\n"
    "  fulldom_child_f   child routing grid (CHANNELGRID, FLOWDIRECTION,\n"
    "                    STREAMORDER, LATITUDE, LONGITUDE; rows north to south)\n"
    "  fulldom_parent_f  parent routing grid (named, not read)\n"
    "  geo_parent_f      parent geo file (XLAT_M, XLONG_M; TRUELAT1, TRUELAT2,\n"
    "                    CEN_LAT, CEN_LON, STAND_LON)\n"
    "  routinelin_p_f    route-link file (linkDim; link, order)\n"
    "  nhd_map_f         overlap file (polyid, data; polyid, overlaps, i_index,\n"
    "                    j_index, regridweight)\n"
    "  dxkm              parent grid spacing, km (a warning when the geo file's\n"
    "                    DX_KM, or DX in metres, differs by more than 0.1 %)\n"
    "  flowin_out        .false.: edge channel cells whose flow enters the child\n"
    "                    domain; .true.: every edge channel cell\n"
    "  order_diff        largest accepted child-parent stream-order difference\n"
    "\n"
    "mapping.nc (ndata, gridNum; PnodeId, pOrder, cOrder, weight, childIndex,\n"
    "ci_grid, cj_grid) is replaced only when it is complete.\n"
    "\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    a reported failure: namelist.nesting missing, malformed or without\n"
    "       a key; an input file, dimension or variable that cannot be read\n"
    "  2    a netCDF library failure while writing mapping.nc, or mapping.nc\n"
    "       cannot be created (\"Error: \")\n"
    "  231  a child perimeter cell outside the parent window (STOP 999)\n";

// The end of a run whose child perimeter does not fit the parent window:
// "STOP 999", exit status 999 (231 as the system reports it).
constexpr int kOutsideWindowCode = 999;
}  // namespace

int main(int argc, char** argv) {
  return rn::run_entry("linkweaver", kHelp, argc, argv, [&] {
    rn::linkweaver::MappingState state;
    if (rn::linkweaver::build_mapping(state) == rn::linkweaver::Placement::outside_window) {
      rn::code_stop(kOutsideWindowCode);
    }
  });
}
