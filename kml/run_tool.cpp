// The table of the five exporters: name, help text and entry.
#include <array>
#include <functional>
#include <string>
#include <vector>

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

// The option that every exporter takes.
#define RN_PACKAGE_OPTION                                                           \
  "\n"                                                                              \
  "Options:\n"                                                                      \
  "  --kmz        (first) write a viewer-ready KMZ package instead of the plain\n"  \
  "               document; outputFile must end in .kmz (else status 1, nothing\n"  \
  "               read).  Icons and legend are inside (nothing is fetched),\n"      \
  "               every placemark is styled, and above 20000 placemarks the\n"      \
  "               points are tiles of at most 5000 with regions, which a viewer\n"  \
  "               that honours them loads as they come into view\n"

struct ToolEntry {
  std::string_view program;
  std::string_view help;
  /// Position of the output file among the arguments.
  int output_argument;
  void (*entry)(int argc, char** argv, OutputForm form);
};

constexpr std::string_view kPackageOption = "--kmz";
constexpr std::string_view kPackageSuffix = ".kmz";

constexpr std::array<ToolEntry, 5> kTools{{
    {"flowglobe",
     "Usage: flowglobe [--kmz] inFile outputFile order jumpInt seg_info.nc [obsFile]\n"
     "Streamflow of a channel output on a KML globe.\n"
     "\n"
     "Writes a KML document of the channel points of inFile whose stream order is at\n"
     "least order, that lie on a grid column or row that is a multiple of jumpInt (not\n"
     "0) and whose streamflow is at least 4, coloured by streamflow class, with the\n"
     "stations of obsFile and a legend (bar.gif).  Also creates an empty obs.kml.\n"
     "Classes: blue from 4, green from 8, yellow from 16, orange from 32, red from\n"
     "64, purple from 128.\n" RN_STREAMFLOW_TOOL_DETAILS RN_PACKAGE_OPTION
     "\n"
     "Examples:\n"
     "In a folder written by samplebasin --preset small:\n"
     "  flowglobe channel/points_2016010100.nc flow.kml 1 1 seg_info.nc station_list.txt\n"
     "  flowglobe --kmz channel/points_2016010100.nc flow.kmz 1 1 seg_info.nc station_list.txt\n",
     2, [](int argc, char** argv, OutputForm form) { streamflow_main(kFlowglobe, argc, argv, form); }},
    {"flowglobe_max",
     "Usage: flowglobe_max [--kmz] inFile outputFile order jumpInt seg_info.nc [obsFile]\n"
     "Maximum streamflow of a channel output on a KML globe.\n"
     "\n"
     "As flowglobe, for the maximum streamflow acc_streamflowMax and its classes.\n"
     "Classes: blue from 10, green from 20, yellow from 50, orange from 100, red\n"
     "from 500, purple from 1000; a value from 4 up to 10 takes the style of the\n"
     "point written just before it (purple for the first); in the package they\n"
     "are a class of their own (brown, from 4).\n" RN_STREAMFLOW_TOOL_DETAILS RN_PACKAGE_OPTION
     "\n"
     "Examples:\n"
     "In a folder written by samplebasin --preset small:\n"
     "  flowglobe_max channel/points_2016010100.nc flow_max.kml 1 1 seg_info.nc station_list.txt\n"
     "  flowglobe_max --kmz channel/points_2016010100.nc flow_max.kmz 1 1 seg_info.nc station_list.txt\n",
     2, [](int argc, char** argv, OutputForm form) { streamflow_main(kFlowglobeMax, argc, argv, form); }},
    {"flowglobe_drv1",
     "Usage: flowglobe_drv1 [--kmz] inFile outputFile order interval\n"
     "Channel network points on a KML globe.\n"
     "\n"
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
     "     written\n" RN_PACKAGE_OPTION
     "\n"
     "Examples:\n"
     "In a folder written by samplebasin --preset small:\n"
     "  flowglobe_drv1 channel/points_2016010100.nc nodes.kml 1 1\n"
     "  flowglobe_drv1 --kmz channel/points_2016010100.nc nodes.kmz 1 1\n",
     2, flowglobe_drv1_main},
    {"flowglobe_seg",
     "Usage: flowglobe_seg [--kmz] seg_info.nc outputFile order [obsFile]\n"
     "Segment points and gauges on a KML globe.\n"
     "\n"
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
     "     an input that cannot be read, an output that cannot be written\n" RN_PACKAGE_OPTION
     "\n"
     "Examples:\n"
     "In a folder written by samplebasin --preset small:\n"
     "  flowglobe_seg seg_info.nc segments.kml 2 station_list.txt\n"
     "  flowglobe_seg --kmz seg_info.nc segments.kmz 2 station_list.txt\n",
     2, flowglobe_seg_main},
    {"gaugeglobe",
     "Usage: gaugeglobe [--kmz] outputFile obsFile\n"
     "Gauges of a station list on a KML globe.\n"
     "\n"
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
     "     cannot be read, an output that cannot be written\n" RN_PACKAGE_OPTION
     "\n"
     "Examples:\n"
     "In a folder written by samplebasin --preset small:\n"
     "  gaugeglobe gauges.kml station_list.txt\n"
     "  gaugeglobe --kmz gauges.kmz station_list.txt\n",
     1, gaugeglobe_main},
}};

}  // namespace

int run_tool(std::string_view program, int argc, char** argv) {
  // `--kmz` first selects the package; the tool then sees the arguments
  // after it, exactly as in a plain run.
  std::vector<char*> args(argv, argv + argc);
  OutputForm form = OutputForm::document;
  if (args.size() > 1 && args[1] == kPackageOption) {
    form = OutputForm::package;
    args.erase(args.begin() + 1);
  }
  const int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  for (const ToolEntry& tool : kTools) {
    if (tool.program != program) continue;
    return run_entry(tool.program, tool.help, count, args.data(), [&] {
      if (form == OutputForm::package && count - 1 >= tool.output_argument) {
        const std::string output = argument(count, args.data(), tool.output_argument);
        if (!output.ends_with(kPackageSuffix)) fail(msg::kPackageNameHead + output);
      }
      tool.entry(count, args.data(), form);
    });
  }
  return run_program([&] { fail(msg::kUnknownTool + std::string(program)); });
}

}  // namespace rn::kml
