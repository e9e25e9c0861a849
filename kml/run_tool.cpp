// The table of the five exporters: name, help text and entry.
#include <array>
#include <functional>

#include "command_line.hpp"
#include "kml_tools.hpp"
#include "program_end.hpp"

namespace rn::kml {
namespace {

struct ToolEntry {
  std::string_view program;
  std::string_view help;
  void (*entry)(int argc, char** argv);
};

constexpr std::array<ToolEntry, 5> kTools{{
    {"flowglobe",
     "Usage: flowglobe inFile outputFile order jumpInt seg_info.nc [obsFile]\n"
     "Writes a KML document of the channel points of inFile whose stream order is at\n"
     "least order, that lie on a grid column or row that is a multiple of jumpInt (not\n"
     "0) and whose streamflow is at least 4, coloured by streamflow class, with the\n"
     "stations of obsFile and a legend (bar.gif).  Also creates an empty obs.kml.\n",
     [](int argc, char** argv) { streamflow_main(kFlowglobe, argc, argv); }},
    {"flowglobe_max",
     "Usage: flowglobe_max inFile outputFile order jumpInt seg_info.nc [obsFile]\n"
     "As flowglobe, for the maximum streamflow acc_streamflowMax and its classes.\n",
     [](int argc, char** argv) { streamflow_main(kFlowglobeMax, argc, argv); }},
    {"flowglobe_drv1",
     "Usage: flowglobe_drv1 inFile outputFile order interval\n"
     "Writes a KML document of every interval-th channel point of inFile whose stream\n"
     "order is at least order, named by its position in the file.\n",
     flowglobe_drv1_main},
    {"flowglobe_seg",
     "Usage: flowglobe_seg seg_info.nc outputFile order [obsFile]\n"
     "Writes a KML document of the points of a segment-information file whose stream\n"
     "order is at least order, with the stations of obsFile.\n",
     flowglobe_seg_main},
    {"gaugeglobe",
     "Usage: gaugeglobe outputFile obsFile\n"
     "Writes a KML document of the stations of a station list.\n",
     gaugeglobe_main},
}};

}  // namespace

int run_tool(std::string_view program, int argc, char** argv) {
  return run_program([&] {
    for (const ToolEntry& tool : kTools) {
      if (tool.program != program) continue;
      if (!answer_help_or_version(argc, argv, tool.program, tool.help)) tool.entry(argc, argv);
      return;
    }
    fail("Error: unknown tool " + std::string(program));
  });
}

}  // namespace rn::kml
