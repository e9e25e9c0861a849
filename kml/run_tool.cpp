// The table of the five exporters: name, help text and entry.
#include <array>
#include <functional>

#include "command_line.hpp"
#include "kml_messages.hpp"
#include "kml_tools.hpp"
#include "program_end.hpp"

namespace rn::kml {
namespace {

// The arguments, files and exit statuses that flowglobe and flowglobe_max share.
#define RN_STREAMFLOW_TOOL_DETAILS                                                  \
  "\n"                                                                              \
  "Arguments:\n"                                                                    \
  "  inFile       channel output (recNum, or size; the value variable, latitude,\n" \
  "               longitude, order, chanxi, chanyj), values used as stored\n"        \
  "  outputFile   KML document to write, replaced only when complete\n"             \
  "  order        smallest stream order written (integer)\n"                        \
  "  jumpInt      thinning step (integer, not 0; 1 keeps every point)\n"            \
  "  seg_info.nc  segment-information file; when it exists its chanxi and\n"        \
  "               chanyj must be readable (values not used)\n"                      \
  "  obsFile      station list (latitude, longitude, name, number, grid column\n"   \
  "               and row per station); optional, need not exist\n"                 \
  "\n"                                                                              \
  "Exit status:\n"                                                                  \
  "  0  success, also without the station list (a warning names it)\n"             \
  "  1  a reported failure: fewer than five arguments, order or jumpInt not an\n"   \
  "     integer, jumpInt 0, an input that cannot be read, an output that cannot\n" \
  "     be written\n"

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
     "stations of obsFile and a legend (bar.gif).  Also creates an empty obs.kml.\n"
     "Classes: blue from 4, green from 8, yellow from 16, orange from 32, red from\n"
     "64, purple from 128.\n" RN_STREAMFLOW_TOOL_DETAILS,
     [](int argc, char** argv) { streamflow_main(kFlowglobe, argc, argv); }},
    {"flowglobe_max",
     "Usage: flowglobe_max inFile outputFile order jumpInt seg_info.nc [obsFile]\n"
     "As flowglobe, for the maximum streamflow acc_streamflowMax and its classes.\n"
     "Classes: blue from 10, green from 20, yellow from 50, orange from 100, red\n"
     "from 500, purple from 1000; a value from 4 up to 10 takes the style of the\n"
     "point written just before it (purple for the first).\n" RN_STREAMFLOW_TOOL_DETAILS,
     [](int argc, char** argv) { streamflow_main(kFlowglobeMax, argc, argv); }},
    {"flowglobe_drv1",
     "Usage: flowglobe_drv1 inFile outputFile order interval\n"
     "Writes a KML document of every interval-th channel point of inFile whose stream\n"
     "order is at least order, named by its position in the file.\n"
     "\n"
     "Arguments:\n"
     "  inFile      channel output (recNum; streamflow, latitude, longitude, order)\n"
     "  outputFile  KML document to write, replaced only when complete\n"
     "  order       smallest stream order counted (integer)\n"
     "  interval    every interval-th counted point is written (integer; 1 or\n"
     "              less writes every one)\n"
     "\n"
     "Exit status:\n"
     "  0  success\n"
     "  1  a reported failure: not exactly four arguments, order or interval not\n"
     "     an integer, an input that cannot be read, an output that cannot be\n"
     "     written\n",
     flowglobe_drv1_main},
    {"flowglobe_seg",
     "Usage: flowglobe_seg seg_info.nc outputFile order [obsFile]\n"
     "Writes a KML document of the points of a segment-information file whose stream\n"
     "order is at least order, with the stations of obsFile.\n"
     "\n"
     "Arguments:\n"
     "  seg_info.nc  segment-information file (n; chlat, chlon, order, chanxi,\n"
     "               chanyj)\n"
     "  outputFile   KML document to write, replaced only when complete\n"
     "  order        smallest stream order written (integer)\n"
     "  obsFile      station list; optional, need not exist\n"
     "\n"
     "Exit status:\n"
     "  0  success, also without the station list (a message names it)\n"
     "  1  a reported failure: fewer than three arguments, order not an integer,\n"
     "     an input that cannot be read, an output that cannot be written\n",
     flowglobe_seg_main},
    {"gaugeglobe",
     "Usage: gaugeglobe outputFile obsFile\n"
     "Writes a KML document of the stations of a station list.\n"
     "\n"
     "Arguments:\n"
     "  outputFile  KML document to write, replaced only when complete\n"
     "  obsFile     station list: per station latitude, longitude, name (quoted\n"
     "              when it holds blanks, commas or slashes), number, grid column\n"
     "              and row\n"
     "\n"
     "Exit status:\n"
     "  0  success, also when obsFile does not exist (a message names it)\n"
     "  1  a reported failure: not exactly two arguments, a station value that\n"
     "     cannot be read, an output that cannot be written\n",
     gaugeglobe_main},
}};

}  // namespace

int run_tool(std::string_view program, int argc, char** argv) {
  for (const ToolEntry& tool : kTools) {
    if (tool.program == program) {
      return run_entry(tool.program, tool.help, argc, argv, [&] { tool.entry(argc, argv); });
    }
  }
  return run_program([&] { fail(msg::kUnknownTool + std::string(program)); });
}

}  // namespace rn::kml
