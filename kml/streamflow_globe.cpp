// `flowglobe` and `flowglobe_max`: channel points of sufficient stream order
// on a thinned set of grid columns and rows, whose value reaches 4, as value
// placemarks coloured by value class; stations of an optional list; legend.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "channel_input.hpp"
#include "command_line.hpp"
#include "document_file.hpp"
#include "file_names.hpp"
#include "kml_messages.hpp"
#include "kml_tools.hpp"
#include "list_input.hpp"
#include "nc_readers.hpp"
#include "program_end.hpp"
#include "text_record.hpp"

namespace rn::kml {
namespace {

/// Style of the first value placemark when its value falls in no class.
constexpr std::string_view kFirstFallbackStyle = "purple";

/// The smallest value that gets a placemark.
constexpr float kLowestValue = 4.0f;

/// Creates `name` when absent and leaves an existing file's content alone:
/// the streamflow exporters leave an empty "obs.kml" in the working folder.
void touch(const char* name) {
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    fail(std::string(msg::kCannotCreateHead) + name + msg::kReason + std::strerror(errno));
  }
  ::close(fd);
}

/// Reads `chanxi` and `chanyj` of an existing segment-information file; a
/// missing file is passed over in silence.  The values do not enter the
/// document, so they are read whatever their number and then dropped: only
/// a missing or unreadable variable ends the run.
void check_segment_file(const ModuleReaders& readers, const std::string& seg_file) {
  if (seg_file.empty() || !file_exists(seg_file)) return;
  read_ints(readers, seg_file, "chanxi", std::nullopt);
  read_ints(readers, seg_file, "chanyj", std::nullopt);
}

}  // namespace

ChannelPoints read_channel_points(const StreamflowTool& tool, const std::string& in_file) {
  const ModuleReaders readers(DimensionForm::size_fallback);
  return read_points(readers, in_file, "recNum",
                     {{tool.value_var, &ChannelPoints::values},
                      {"latitude", &ChannelPoints::lat},
                      {"longitude", &ChannelPoints::lon},
                      {"order", &ChannelPoints::order},
                      {"chanxi", &ChannelPoints::chanxi},
                      {"chanyj", &ChannelPoints::chanyj}});
}

bool on_thinned_grid(std::int32_t chanxi, std::int32_t chanyj, std::int32_t jumpint) {
  // 64-bit remainders: INT32_MIN % -1 overflows in 32 bits.
  const std::int64_t step = jumpint;
  return static_cast<std::int64_t>(chanxi) % step == 0 ||
         static_cast<std::int64_t>(chanyj) % step == 0;
}

// Contract: writes one value placemark per point i (1-based) with
// order(i) >= order0, chanxi(i) or chanyj(i) a multiple of jumpint, and
// value(i) >= 4 (NaN fails), in point order, k = i.  Assumes all six arrays
// hold the same number of points and jumpint != 0.  The style is the
// value's class, else the previous placemark's style ("purple" first).
// Cost: one pass, O(points) plus the records written.
void write_value_placemarks(const StreamflowTool& tool, const ChannelPoints& points,
                            std::int32_t order0, std::int32_t jumpint, PlacemarkSink& doc) {
  std::string_view previous = kFirstFallbackStyle;
  const std::size_t point_count = points.values.size();
  for (std::size_t i = 0; i < point_count; ++i) {
    if (points.order[i] < order0) continue;
    if (!on_thinned_grid(points.chanxi[i], points.chanyj[i], jumpint)) continue;
    const float v = points.values[i];
    if (!(v >= kLowestValue)) continue;
    std::string_view style = value_class(tool.classes, v);
    if (style.empty()) style = previous;
    previous = style;
    doc.write_value_placemark(points.lat[i], points.lon[i], points.order[i], v,
                              static_cast<std::int32_t>(i + 1), style, tool.label);
  }
}

void write_streamflow_globe(const StreamflowTool& tool, const std::string& in_file,
                            const std::string& output_file, std::int32_t order0,
                            const std::string& seg_file, const std::string& obs_file,
                            std::int32_t jumpint, OutputForm form) {
  echo_file_names(in_file, output_file);
  GlobeOutput output(output_file, form);
  touch("obs.kml");
  const ChannelPoints points = read_channel_points(tool, in_file);
  check_segment_file(ModuleReaders(DimensionForm::size_fallback), seg_file);
  output.complete(
      kFlowglobeVariant, *tool.look,
      [&](PlacemarkSink& doc) { write_value_placemarks(tool, points, order0, jumpint, doc); },
      obs_file);
}

void streamflow_main(const StreamflowTool& tool, int argc, char** argv, OutputForm form) {
  if (argc - 1 < 5) {
    out().record(msg::kStreamflowUsage);
    plain_stop(kFailure);
  }
  const std::int32_t order0 = int_argument(argument(argc, argv, 3), msg::kOrderArgument);
  const std::int32_t jumpint = int_argument(argument(argc, argv, 4), msg::kJumpArgument);
  if (jumpint == 0) {
    // Points are kept on the grid columns and rows that are multiples of
    // jumpInt: there are none of 0.
    fail(msg::kZeroJump);
  }
  write_streamflow_globe(tool, argument(argc, argv, 1), argument(argc, argv, 2), order0,
                         argument(argc, argv, 5), argument(argc, argv, 6), jumpint, form);
}

}  // namespace rn::kml
