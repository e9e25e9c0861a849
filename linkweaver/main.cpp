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
    "writes mapping.nc in the working directory.\n";
}  // namespace

int main(int argc, char** argv) {
  return rn::run_program([&] {
    if (rn::answer_help_or_version(argc, argv, "linkweaver", kHelp)) return;
    rn::linkweaver::MappingState state;
    rn::linkweaver::linkweaver(state);
  });
}
