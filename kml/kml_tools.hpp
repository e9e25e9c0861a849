// The five globe exporters: their program entries, drivers, point selections
// and the data that sets one tool apart from another.
//
//   flowglobe       channel points coloured by streamflow class, stations, legend
//   flowglobe_max   the same for the per-point maximum streamflow
//   flowglobe_drv1  every n-th channel node of sufficient stream order
//   flowglobe_seg   the points of a segment-information file, stations
//   gaugeglobe      the stations of a station list
//
// Each entry takes the process arguments, writes its standard-output records
// and its one document, and ends through the program ends (program_end.hpp).
// Documents are written under a temporary name and renamed into place when
// complete, so a failed run leaves an existing document as it was.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "channel_input.hpp"
#include "globe_output.hpp"
#include "kml_document.hpp"
#include "kmz_package.hpp"

namespace rn::kml {

// ------------------------------------------------------ streamflow exporters

/// What sets `flowglobe` and `flowglobe_max` apart.
struct StreamflowTool {
  std::string_view program;
  /// Variable of the channel output that holds the value of each point.
  std::string_view value_var;
  /// Text between k and the order in the description of a value placemark.
  std::string_view label;
  /// Colour classes of the values.  A written value that falls in no class
  /// takes the style of the value placemark written just before it, "purple"
  /// for the first.
  std::span<const ValueClass> classes;
  /// How its package shows the values (its classes there cover every
  /// written value).
  const PackageLook* look;
};

inline constexpr StreamflowTool kFlowglobe{"flowglobe", "streamflow", " ,orderin=,",
                                           kStandardClasses, &kStreamflowLook};
inline constexpr StreamflowTool kFlowglobeMax{"flowglobe_max", "acc_streamflowMax", " ,order=",
                                              kMaximumClasses, &kMaximumLook};

/// Reads the channel output as `flowglobe` and `flowglobe_max` do: the
/// tool's value, latitude, longitude, order, grid column and row over
/// `recNum` (or `size` when absent).
ChannelPoints read_channel_points(const StreamflowTool& tool, const std::string& in_file);

/// True when grid column `chanxi` or row `chanyj` is a multiple of `jumpint`
/// (signs do not matter; `jumpint` is not 0).
bool on_thinned_grid(std::int32_t chanxi, std::int32_t chanyj, std::int32_t jumpint);

/// Writes the value placemarks of the points of sufficient order, on the
/// thinned grid, with a value of at least 4, in point order.
void write_value_placemarks(const StreamflowTool& tool, const ChannelPoints& points,
                            std::int32_t order0, std::int32_t jumpint, PlacemarkSink& doc);

/// Driver of `flowglobe` (with kFlowglobe) and `flowglobe_max` (kFlowglobeMax).
void write_streamflow_globe(const StreamflowTool& tool, const std::string& in_file,
                            const std::string& output_file, std::int32_t order0,
                            const std::string& seg_file, const std::string& obs_file,
                            std::int32_t jumpint, OutputForm form = OutputForm::document);

// ------------------------------------------------- node and segment exporters

/// Reads the points as `flowglobe_drv1` does: streamflow (checked, not
/// shown), latitude, longitude and order over `recNum`.
ChannelPoints read_node_points(const std::string& in_file);

/// Reads the points of a segment-information file as `flowglobe_seg` does:
/// chlat, chlon, order, chanxi and chanyj over `n`.
ChannelPoints read_segment_points(const std::string& seg_file);

/// Node placemarks of `flowglobe_drv1`: of the points whose order reaches
/// `order0`, the `interval0`-th, 2*`interval0`-th, ... in file order.
void write_node_placemarks(const ChannelPoints& points, std::int32_t order0, std::int32_t interval0,
                           PlacemarkSink& doc);

/// Segment placemarks of `flowglobe_seg`: every point whose order reaches
/// `order0`.
void write_segment_placemarks(const ChannelPoints& points, std::int32_t order0, PlacemarkSink& doc);

void write_node_globe(const std::string& in_file, const std::string& output_file,
                      std::int32_t order0, std::int32_t interval0,
                      OutputForm form = OutputForm::document);
void write_segment_globe(const std::string& seg_file, const std::string& output_file,
                         std::int32_t order0, const std::string& obs_file,
                         OutputForm form = OutputForm::document);

// ----------------------------------------------------------- station exporter

void write_station_globe(const std::string& output_file, const std::string& obs_file,
                         OutputForm form = OutputForm::document);

// ------------------------------------------------------------ entries

/// `flowglobe` (kFlowglobe) and `flowglobe_max` (kFlowglobeMax).  The
/// arguments are those after `--kmz`, which sets `form`.
void streamflow_main(const StreamflowTool& tool, int argc, char** argv, OutputForm form);
void flowglobe_drv1_main(int argc, char** argv, OutputForm form);
void flowglobe_seg_main(int argc, char** argv, OutputForm form);
void gaugeglobe_main(int argc, char** argv, OutputForm form);

/// Runs the tool `program` on the process arguments (--help and --version
/// answered first) and returns the exit status.  A first argument `--kmz`
/// asks for the package; its output name must end in ".kmz", else the run
/// ends before anything is read ("Error: --kmz ...", status 1).
int run_tool(std::string_view program, int argc, char** argv);

}  // namespace rn::kml
